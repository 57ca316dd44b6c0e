#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"

namespace vantorix {

// Decodes an ordinary image file into `dst` as 16-bit RGBA, reduced to 4096
// pixels on its longer side. False (and `dst` unchanged) when the file cannot
// be read, with `error` saying why when more than "could not read" is known.
// `dst`'s memory is reused when it has the size already.
bool load_ordinary_image(const std::string& path, ImageBuffer& dst, std::string& error) {
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR, &error);
    if (bgr.empty()) return false;
    const int longer = std::max(bgr.cols, bgr.rows);
    if (longer > 4096) bgr = resize_by_factor(bgr, 4096.0f / static_cast<float>(longer));
    // Channel swap, alpha and widening to 16 bits in two passes.
    cv::Mat rgba8;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    bgr.release();
    if (dst.mat.size() == rgba8.size() && dst.mat.type() == CV_16UC4 && dst.mat.u && dst.mat.u->refcount == 1) {
        rgba8.convertTo(dst.mat, CV_16U, 257.0);  // same size: no allocation, cannot fail
    } else {
        cv::Mat fresh;
        rgba8.convertTo(fresh, CV_16U, 257.0);
        dst.mat = fresh;
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
            std::string why;
            if (!vantorix::load_ordinary_image(p, ctx->pipeline.working, why)) {
                // A file that is not regular gets the same message whichever decoder it was meant for.
                if (why.find("not a regular file") != std::string::npos)
                    ctx->fail(why);
                else
                    ctx->fail("OpenCV could not read: " + p + (why.rfind("image of ", 0) == 0 ? ": " + why : ""));
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
    ctx->pipeline.working = vantorix::ImageBuffer();
    ctx->pipeline.processed = vantorix::ImageBuffer();
    ctx->pipeline.scratch.release();
    ctx->loaded_path.clear();
    ctx->processed_valid = false;
}

}  // extern "C"
