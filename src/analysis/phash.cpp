#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_phash(const char*, uint64_t*) {
    return -1;
}

}  // extern "C"
