#include "engine/context.h"
#include "engine/guard.h"

extern "C" VANTORIX_API int vantorix_process(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->has_image()) {
            ctx->fail("no image loaded");
            return -1;
        }
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        if (!ctx->pipeline.process(ctx->adjustments, &progress, VANTORIX_STAGE_PROCESS)) {
            ctx->fail(vantorix::kCancelledMessage);
            return -1;
        }
        ctx->processed_valid = true;
        return 0;
    });
}
