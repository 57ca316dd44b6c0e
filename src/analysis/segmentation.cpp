#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_segment_subject(EngineContext*, float, float) {
    return -1;
}

VANTORIX_API int vantorix_get_mask(EngineContext*, uint8_t*, int) {
    return -1;
}

}  // extern "C"
