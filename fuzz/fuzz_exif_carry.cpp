// The EXIF block of the input carried into a small encoded JPEG.
#include "fuzz_common.h"
#include "output/exif_carry.h"

FUZZ_ENTRY {
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46, 0xFF, 0xD9};
    vantorix::carry_exif(fuzz_file(data, size, ".jpg"), jpeg);
    return 0;
}
