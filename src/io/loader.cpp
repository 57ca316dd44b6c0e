#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "io/raw_develop.h"

namespace vantorix {

// Decodes an ordinary image file into `dst` as 16-bit RGBA, reduced to 4096
// pixels on its longer side. 1 on success; 0 (and `dst` unchanged) when the
// file cannot be read, with `error` saying why when more than "could not read"
// is known; -1 (`dst` unchanged) when the host cancels. `dst`'s memory is
// reused when it has the size already and `own` says the engine allocated it.
int load_ordinary_image(const std::string& path, ImageBuffer& dst, OwnedMemory& own, Progress& progress,
                        std::string& error) {
    if (progress.report(VANTORIX_STAGE_LOAD, 0.0f)) return -1;
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR, &error);
    if (bgr.empty()) return 0;
    if (progress.report(VANTORIX_STAGE_LOAD, 0.6f)) return -1;
    const int longer = std::max(bgr.cols, bgr.rows);
    if (longer > 4096) {
        bgr = resize_by_factor(bgr, 4096.0f / static_cast<float>(longer));
        if (progress.report(VANTORIX_STAGE_LOAD, 0.8f)) return -1;
    }
    // Channel swap, alpha and widening to 16 bits in two passes.
    cv::Mat rgba8;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    bgr.release();
    if (progress.report(VANTORIX_STAGE_LOAD, 0.9f)) return -1;
    if (dst.mat.size() == rgba8.size() && dst.mat.type() == CV_16UC4 && own.holds(dst.mat)) {
        rgba8.convertTo(dst.mat, CV_16U, 257.0);  // same size: no allocation, cannot fail
    } else {
        cv::Mat fresh;
        rgba8.convertTo(fresh, CV_16U, 257.0);
        dst.mat = fresh;
        own.adopt(dst.mat);
    }
    return 1;
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_load_arw(EngineContext* ctx, const char* path, int size_level) {
    if (!ctx || !path) return -1;
    const bool was_valid = ctx->processed_valid;
    ctx->processed_valid = false;
    vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
    // A cancelled load leaves the context as it was before the call.
    auto cancelled = [&]() -> int {
        ctx->processed_valid = was_valid;
        ctx->fail(vantorix::kCancelledMessage);
        return -1;
    };
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const int stage = vantorix::has_image_extension(path) ? VANTORIX_STAGE_LOAD : VANTORIX_STAGE_RAW_DEVELOP;
        return progress.run(stage, [&]() -> int {
            const int level = std::min(std::max(size_level, 1), 4);
            const std::string p(path);
            if (vantorix::has_image_extension(p)) {
                std::string why;
                const int loaded =
                    vantorix::load_ordinary_image(p, ctx->pipeline.working, ctx->pipeline.own_working, progress, why);
                if (loaded < 0) return cancelled();
                if (loaded == 0) {
                    // A file that is not regular gets the same message whichever decoder it was meant for.
                    if (why.find("not a regular file") != std::string::npos)
                        ctx->fail(why);
                    else
                        ctx->fail(vantorix::msg::kCannotDecode + p + (why.rfind("image of ", 0) == 0 ? ": " + why : ""));
                    return -1;
                }
                ctx->loaded_path = p;
                ctx->adjustments = vantorix::Adjustments();
                ctx->raw = vantorix::RawImage();
                progress.report(VANTORIX_STAGE_LOAD, 1.0f);  // loaded: too late to cancel
                return 0;
            }
            // Developed into a copy (sharing the earlier image), committed only
            // when the host has not cancelled.
            vantorix::RawImage attempt = ctx->raw;
            const bool ok = vantorix::develop_raw(attempt, p, level, &progress);
            if (progress.cancelled() || (ok && progress.report(VANTORIX_STAGE_RAW_DEVELOP, 1.0f))) return cancelled();
            ctx->raw = std::move(attempt);
            if (!ok) {
                ctx->last_error = ctx->raw.error;
                return -1;
            }
            ctx->loaded_path = p;
            ctx->pipeline.set_image(ctx->raw.image);
            ctx->adjustments = vantorix::Adjustments();
            return 0;
        });
    });
}

VANTORIX_API void vantorix_unload(EngineContext* ctx) {
    if (!ctx) return;
    ctx->raw = vantorix::RawImage();
    ctx->pipeline.clear();
    ctx->loaded_path.clear();
    ctx->processed_valid = false;
}

}  // extern "C"
