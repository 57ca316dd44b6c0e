#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"

namespace vantorix {

// Decodes an ordinary image file into a 16-bit RGBA buffer, reduced to 4096
// pixels on its longer side. Empty when the file cannot be read.
ImageBuffer load_ordinary_image(const std::string& path) {
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR);
    if (bgr.empty()) return ImageBuffer();
    const int longer = std::max(bgr.cols, bgr.rows);
    if (longer > 4096) {
        const float factor = 4096.0f / static_cast<float>(longer);
        cv::Mat small;
        cv::resize(bgr, small, cv::Size(), factor, factor, cv::INTER_AREA);
        bgr = small;
    }
    // Channel swap, alpha and widening to 16 bits in two passes.
    cv::Mat rgba8, rgba16;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    bgr.release();
    rgba8.convertTo(rgba16, CV_16U, 257.0);
    return ImageBuffer::adopt(std::move(rgba16));
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
            vantorix::ImageBuffer img = vantorix::load_ordinary_image(p);
            if (img.empty()) {
                ctx->fail("OpenCV could not read: " + p);
                return -1;
            }
            ctx->pipeline.working = std::move(img);
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
    ctx->pipeline.working = vantorix::ImageBuffer();
    ctx->pipeline.processed = vantorix::ImageBuffer();
    ctx->loaded_path.clear();
    ctx->processed_valid = false;
}

}  // extern "C"
