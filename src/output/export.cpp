#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "io/jpeg_codec.h"
#include "output/exif_carry.h"
#include "pipeline/pipeline.h"

namespace vantorix {

namespace {

// The processed image, developing first when no valid development exists
// (without marking it valid), then reports the start of the export. Null when
// nothing is loaded or the host cancelled (message stored).
const ImageBuffer* export_source(EngineContext* ctx, Progress& progress) {
    const ImageBuffer* src = developed_image(ctx, Develop::when_stale, false, &progress);
    if (src && progress.report(VANTORIX_STAGE_EXPORT, 0.0f)) {
        ctx->fail(kCancelledMessage);
        return nullptr;
    }
    return src;
}

// Writes encoded bytes unless the host cancels once they are ready (then
// nothing is written). 1 written, 0 write failed (the writer's reason in
// `why`), -1 cancelled (message stored).
int write_encoded(EngineContext* ctx, Progress& progress, const std::string& path, const std::vector<uint8_t>& bytes,
                  std::string& why) {
    if (progress.report(VANTORIX_STAGE_EXPORT, 0.5f)) {
        ctx->fail(kCancelledMessage);
        return -1;
    }
    if (!write_file_atomic(path, bytes, &why)) return 0;
    progress.report(VANTORIX_STAGE_EXPORT, 1.0f);  // the file is in place: too late to cancel
    return 1;
}

cv::Mat bgr8(const ImageBuffer& img) {
    cv::Mat out;
    cv::cvtColor(img.to_8bit(), out, cv::COLOR_RGBA2BGR);
    return out;
}

// The JPEG export's bytes: for a JPEG name, each row is converted as bgr8
// converts it and handed to the encoder, without a full-size 8-bit copy;
// other names go through the encoder their extension picks.
bool encode_jpeg_export(const std::string& path, const ImageBuffer& img, int quality, std::vector<uint8_t>& bytes) {
    if (!is_jpeg_extension(path_extension(path)))
        return encode_image(path, bgr8(img), {cv::IMWRITE_JPEG_QUALITY, quality}, bytes);
    cv::Mat rgba8(1, img.cols(), CV_8UC4), bgr(1, img.cols(), CV_8UC3);
    return jpeg_encode_rows(img.cols(), img.rows(), 3, quality, [&](int y) {
        img.row_to_8bit(y, rgba8);
        cv::cvtColor(rgba8, bgr, cv::COLOR_RGBA2BGR);
        return bgr.ptr<uint8_t>();
    }, bytes);
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
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(ctx->processed_valid ? VANTORIX_STAGE_EXPORT : VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* src = vantorix::export_source(ctx, progress);
            if (!src) return -1;
            const int q = std::max(std::min(quality, 100), 1);
            std::vector<uint8_t> bytes;
            const std::string out_path(path);
            bool ok = !src->empty() && vantorix::encode_jpeg_export(out_path, *src, q, bytes);
            if (ok && keep_metadata != 0 && !ctx->loaded_path.empty()) vantorix::carry_exif(ctx->loaded_path, bytes);
            std::string why = "cannot encode '" + out_path + "'";
            const int written = ok ? vantorix::write_encoded(ctx, progress, out_path, bytes, why) : 0;
            if (written < 0) return -1;
            if (written == 0) {
                ctx->fail(std::string(vantorix::msg::kJpegWrite) + ": " + why);
                return -1;
            }
            return 0;
        });
    });
}

VANTORIX_API int vantorix_export_png(EngineContext* ctx, const char* path, int bits) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(ctx->processed_valid ? VANTORIX_STAGE_EXPORT : VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* src = vantorix::export_source(ctx, progress);
            if (!src) return -1;
            std::vector<uint8_t> bytes;
            const bool ok = !src->empty() &&
                            vantorix::encode_image(path, bits == 16 ? vantorix::bgr16(*src) : vantorix::bgr8(*src), {}, bytes);
            std::string why = src->empty() ? "nothing to write" : "cannot encode '" + std::string(path) + "'";
            const int written = ok ? vantorix::write_encoded(ctx, progress, path, bytes, why) : 0;
            if (written < 0) return -1;
            if (written == 0) {
                ctx->fail(std::string(vantorix::msg::kPngWrite) + ": " + why);
                return -1;
            }
            return 0;
        });
    });
}

VANTORIX_API int vantorix_export_tiff(EngineContext* ctx, const char* path) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(ctx->processed_valid ? VANTORIX_STAGE_EXPORT : VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* src = vantorix::export_source(ctx, progress);
            if (!src) return -1;
            std::vector<uint8_t> bytes;
            const bool ok = !src->empty() && vantorix::encode_image(path, vantorix::bgr16(*src), {}, bytes);
            std::string why = src->empty() ? "nothing to write" : "cannot encode '" + std::string(path) + "'";
            const int written = ok ? vantorix::write_encoded(ctx, progress, path, bytes, why) : 0;
            if (written < 0) return -1;
            if (written == 0) {
                ctx->fail(std::string(vantorix::msg::kTiffWrite) + ": " + why);
                return -1;
            }
            return 0;
        });
    });
}

}  // extern "C"
