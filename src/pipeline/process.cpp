// vantorix_process, and the one rule by which the exported functions obtain
// a developed image.
#include "engine/context.h"
#include "engine/guard.h"
#include "pipeline/pipeline.h"

namespace vantorix {

const ImageBuffer* developed_image(EngineContext* ctx, Develop when, bool mark_valid, Progress* progress) {
    if (!ctx->require_image()) return nullptr;
    if (when == Develop::always || !ctx->processed_valid) {
        if (!run_pipeline(ctx->pipeline, ctx->adjustments, progress, VANTORIX_STAGE_PROCESS)) {
            ctx->fail(kCancelledMessage);
            return nullptr;
        }
        if (mark_valid) ctx->processed_valid = true;
    }
    return &ctx->pipeline.processed;
}

}  // namespace vantorix

extern "C" VANTORIX_API int vantorix_process(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return vantorix::developed_image(ctx, vantorix::Develop::always, true, &progress) ? 0 : -1;
    });
}
