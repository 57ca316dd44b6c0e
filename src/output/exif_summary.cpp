#include "engine/context.h"
#include "engine/guard.h"

extern "C" {

VANTORIX_API int vantorix_get_exif(EngineContext*, ExifSummary*) {
    return -1;
}

}  // extern "C"
