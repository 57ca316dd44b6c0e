#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "io/raw_develop.h"

namespace vantorix {

// Decodes an ordinary image file into `dst` as 16-bit RGBA, reduced to 4096
// pixels on its longer side. False (and `dst` unchanged) when the file cannot
// be read. `dst`'s memory is reused when it has the size already and `own`
// says the engine allocated it.
bool load_ordinary_image(const std::string& path, ImageBuffer& dst, OwnedMemory& own) {
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR);
    if (bgr.empty()) return false;
    const int longer = std::max(bgr.cols, bgr.rows);
    if (longer > 4096) {
        const float factor = 4096.0f / static_cast<float>(longer);
        cv::Mat small;
        cv::resize(bgr, small, cv::Size(), factor, factor, cv::INTER_AREA);
        bgr = small;
    }
    // Channel swap, alpha and widening to 16 bits in two passes.
    cv::Mat rgba8;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    bgr.release();
    if (dst.mat.size() == rgba8.size() && dst.mat.type() == CV_16UC4 && own.holds(dst.mat)) {
        rgba8.convertTo(dst.mat, CV_16U, 257.0);  // same size: no allocation, cannot fail
    } else {
        cv::Mat fresh;
        rgba8.convertTo(fresh, CV_16U, 257.0);
        dst.mat = fresh;
        own.adopt(dst.mat);
    }
    return true;
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_load_arw(EngineContext* ctx, const char* path, int size_level) {
    if (!ctx || !path) return -1;
    ctx->processed_valid = false;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const int level = std::min(std::max(size_level, 1), 4);
        const std::string p(path);
        if (vantorix::has_image_extension(p)) {
            if (!vantorix::load_ordinary_image(p, ctx->pipeline.working, ctx->pipeline.own_working)) {
                ctx->fail(vantorix::msg::kCannotDecode + p);
                return -1;
            }
            ctx->loaded_path = p;
            ctx->adjustments = vantorix::Adjustments();
            ctx->raw = vantorix::RawImage();
            return 0;
        }
        if (!vantorix::develop_raw(ctx->raw, p, level)) {
            ctx->last_error = ctx->raw.error;
            return -1;
        }
        ctx->loaded_path = p;
        ctx->pipeline.set_image(ctx->raw.image);
        ctx->adjustments = vantorix::Adjustments();
        return 0;
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
