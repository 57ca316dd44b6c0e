#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_auto_exposure(EngineContext*, float*) {
    return -1;
}

}  // extern "C"
