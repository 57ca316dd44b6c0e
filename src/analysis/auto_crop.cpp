#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_auto_crop(EngineContext*, float*, float*, float*, float*) {
    return -1;
}

}  // extern "C"
