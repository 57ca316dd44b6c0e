// vantorix_extract_thumbnail on the input as an ordinary image and as a RAW file.
#include "fuzz_common.h"

FUZZ_ENTRY {
    for (const char* ending : {".jpg", ".cr2"}) {
        uint8_t* out = nullptr;
        uint32_t n = 0;
        vantorix_extract_thumbnail(fuzz_file(data, size, ending).c_str(), &out, &n);
        vantorix_free_thumb(out);
    }
    return 0;
}
