// The EXIF summary of the input.
#include "fuzz_common.h"
#include "output/exif_reader.h"

FUZZ_ENTRY {
    ExifSummary rec;
    vantorix::read_exif_summary(fuzz_file(data, size, ".jpg"), rec);
    return 0;
}
