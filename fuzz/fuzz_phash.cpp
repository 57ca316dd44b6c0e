// vantorix_phash on the input as an ordinary image and as a RAW file.
#include "fuzz_common.h"

FUZZ_ENTRY {
    uint64_t hash = 0;
    for (const char* ending : {".jpg", ".cr2"}) vantorix_phash(fuzz_file(data, size, ending).c_str(), &hash);
    return 0;
}
