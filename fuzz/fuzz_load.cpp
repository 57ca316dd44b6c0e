// vantorix_load_arw on the input as an ordinary image and as a RAW file.
#include "fuzz_common.h"

FUZZ_ENTRY {
    EngineContext* ctx = vantorix_create_context();
    for (const char* ending : {".jpg", ".cr2"}) vantorix_load_arw(ctx, fuzz_file(data, size, ending).c_str(), 4);
    vantorix_destroy_context(ctx);
    return 0;
}
