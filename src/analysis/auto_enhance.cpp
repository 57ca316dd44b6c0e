#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_auto_enhance(EngineContext*, AutoEnhanceResult*) {
    return -1;
}

VANTORIX_API int vantorix_auto_white_balance(EngineContext*, float*, float*) {
    return -1;
}

}  // extern "C"
