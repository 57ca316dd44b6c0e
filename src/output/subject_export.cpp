#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_export_subject_png(EngineContext*, const char*) {
    return -1;
}

}  // extern "C"
