#include "engine/context.h"

extern "C" VANTORIX_API int vantorix_set_progress_callback(EngineContext* ctx,
                                                           int (*fn)(void* user, int stage, float fraction),
                                                           void* user) {
    if (!ctx) return -1;
    ctx->progress_fn = fn;
    ctx->progress_user = fn ? user : nullptr;
    return 0;
}
