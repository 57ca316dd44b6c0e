// vantorix_process, and the one rule by which the exported functions obtain
// a developed image.
#include <cmath>

#include "engine/context.h"
#include "engine/guard.h"
#include "pipeline/pipeline.h"

namespace vantorix {

const ImageBuffer* developed_image(EngineContext* ctx, Develop when, bool mark_valid, Progress* progress) {
    if (!ctx->require_image()) return nullptr;
    if (when == Develop::always || !ctx->processed_valid) {
        // Developing again with the settings of the last development gives the
        // same bits, so it is skipped; grain is random by design and always
        // developed afresh.
        const bool repeatable = !(ctx->adjustments.grain_amount > 0.0f) && !std::isnan(ctx->adjustments.grain_amount);
        std::string settings = repeatable ? settings_fingerprint(ctx->adjustments) : std::string();
        if (ctx->processed_valid && !settings.empty() && settings == ctx->developed_settings &&
            !ctx->pipeline.processed.empty())
            return &ctx->pipeline.processed;
        ctx->developed_settings.clear();  // `processed` may change below
        if (!run_pipeline(ctx->pipeline, ctx->adjustments, progress, VANTORIX_STAGE_PROCESS)) {
            ctx->fail(kCancelledMessage);
            return nullptr;
        }
        ctx->developed_settings = std::move(settings);
        if (mark_valid) ctx->processed_valid = true;
    }
    return &ctx->pipeline.processed;
}

}  // namespace vantorix

extern "C" VANTORIX_API int vantorix_process(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(VANTORIX_STAGE_PROCESS, [&] {
            return vantorix::developed_image(ctx, vantorix::Develop::always, true, &progress) ? 0 : -1;
        });
    });
}
