// vantorix_process, and the one rule by which the exported functions obtain
// a developed image.
#include "engine/context.h"
#include "engine/guard.h"
#include "pipeline/pipeline.h"

namespace vantorix {

const ImageBuffer* developed_image(EngineContext* ctx, Develop when, bool mark_valid) {
    if (!ctx->require_image()) return nullptr;
    if (when == Develop::always || !ctx->processed_valid) {
        run_pipeline(ctx->pipeline, ctx->adjustments);
        if (mark_valid) ctx->processed_valid = true;
    }
    return &ctx->pipeline.processed;
}

}  // namespace vantorix

extern "C" VANTORIX_API int vantorix_process(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        return vantorix::developed_image(ctx, vantorix::Develop::always, true) ? 0 : -1;
    });
}
