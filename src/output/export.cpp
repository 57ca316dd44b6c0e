#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "output/exif_carry.h"

namespace vantorix {

namespace {

// The processed image, developing first when no valid development exists
// (without marking it valid). Null when nothing is loaded (message stored).
const ImageBuffer* export_source(EngineContext* ctx) {
    if (!ctx->has_image()) {
        ctx->fail("no image loaded");
        return nullptr;
    }
    if (!ctx->processed_valid) ctx->pipeline.process(ctx->adjustments);
    return &ctx->pipeline.processed;
}

cv::Mat bgr8(const ImageBuffer& img) {
    cv::Mat out;
    cv::cvtColor(img.to_8bit(), out, cv::COLOR_RGBA2BGR);
    return out;
}

cv::Mat bgr16(const ImageBuffer& img) {
    cv::Mat out;
    cv::cvtColor(img.mat, out, cv::COLOR_RGBA2BGR);
    return out;
}

}  // namespace

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_export_jpeg(EngineContext* ctx, const char* path, int quality, int reserved,
                                      int keep_metadata) {
    (void)reserved;
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const vantorix::ImageBuffer* src = vantorix::export_source(ctx);
        if (!src) return -1;
        const int q = std::max(std::min(quality, 100), 1);
        std::vector<uint8_t> bytes;
        const std::string out_path(path);
        bool ok = !src->empty() &&
                  vantorix::encode_image(out_path, vantorix::bgr8(*src), {cv::IMWRITE_JPEG_QUALITY, q}, bytes);
        if (ok && keep_metadata != 0 && !ctx->loaded_path.empty()) vantorix::carry_exif(ctx->loaded_path, bytes);
        std::string why = "cannot encode '" + out_path + "'";
        if (!ok || !vantorix::write_file_atomic(out_path, bytes, &why)) {
            ctx->fail("JPEG write failed: " + why);
            return -1;
        }
        return 0;
    });
}

VANTORIX_API int vantorix_export_png(EngineContext* ctx, const char* path, int bits) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const vantorix::ImageBuffer* src = vantorix::export_source(ctx);
        if (!src) return -1;
        std::string why = "nothing to write";
        const bool ok = !src->empty() && vantorix::write_image_file(
                                             path, bits == 16 ? vantorix::bgr16(*src) : vantorix::bgr8(*src), {}, &why);
        if (!ok) {
            ctx->fail("PNG write failed: " + why);
            return -1;
        }
        return 0;
    });
}

VANTORIX_API int vantorix_export_tiff(EngineContext* ctx, const char* path) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const vantorix::ImageBuffer* src = vantorix::export_source(ctx);
        if (!src) return -1;
        std::string why = "nothing to write";
        if (src->empty() || !vantorix::write_image_file(path, vantorix::bgr16(*src), {}, &why)) {
            ctx->fail("TIFF write failed: " + why);
            return -1;
        }
        return 0;
    });
}

}  // extern "C"
