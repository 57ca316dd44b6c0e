#include <cstdlib>
#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_extract_thumbnail(const char*, uint8_t**, uint32_t*) {
    return -1;
}

}  // extern "C"

extern "C" VANTORIX_API void vantorix_free_thumb(uint8_t* data) { std::free(data); }
