#include "engine/context.h"
#include "engine/guard.h"

extern "C" VANTORIX_API int vantorix_process(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->has_image()) {
            ctx->fail("no image loaded");
            return -1;
        }
        ctx->pipeline.process(ctx->adjustments);
        ctx->processed_valid = true;
        return 0;
    });
}
