// The subject cut-out: the developed image with the subject mask as alpha.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "pipeline/pipeline.h"

extern "C" {

VANTORIX_API int vantorix_export_subject_png(EngineContext* ctx, const char* path) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->mask_ready) {
            ctx->fail(vantorix::msg::kNoMask);
            return -1;
        }
        // Without an image the result stays empty and the size check below
        // reports the mismatch (the mask outlives unloads).
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(ctx->processed_valid ? VANTORIX_STAGE_EXPORT : VANTORIX_STAGE_PROCESS, [&]() -> int {
            if (!ctx->processed_valid) ctx->developed_settings.clear();  // `processed` is replaced below
            if (!ctx->processed_valid &&
                !vantorix::run_pipeline(ctx->pipeline, ctx->adjustments, &progress, VANTORIX_STAGE_PROCESS)) {
                ctx->fail(vantorix::kCancelledMessage);
                return -1;
            }
            const vantorix::ImageBuffer& developed = ctx->pipeline.processed;
            const cv::Mat& mask = ctx->subject_mask;
            // The mask is applied pixel for pixel: after a crop, a load of an image
            // of another size or an unload it would not line up with the picture.
            if (developed.empty() || mask.empty() || mask.type() != CV_8UC1 || mask.cols != developed.cols() ||
                mask.rows != developed.rows()) {
                ctx->fail(vantorix::msg::kMaskSize);
                return -1;
            }
            // Colour from the developed image (÷257), alpha from the mask as it
            // is, straight (not premultiplied), in the encoder's BGRA order: one
            // channel shuffle instead of split, merge and a colour conversion.
            if (progress.report(VANTORIX_STAGE_EXPORT, 0.0f)) {
                ctx->fail(vantorix::kCancelledMessage);
                return -1;
            }
            const cv::Mat rgba8 = developed.to_8bit();
            cv::Mat bgra(rgba8.size(), CV_8UC4);
            const cv::Mat sources[] = {rgba8, mask};
            const int from_to[] = {2, 0, 1, 1, 0, 2, 4, 3};
            cv::mixChannels(sources, 2, &bgra, 1, from_to, 4);
            std::vector<uint8_t> bytes;
            std::string why = "cannot encode '" + std::string(path) + "'";
            const bool encoded = vantorix::encode_image(path, bgra, {cv::IMWRITE_PNG_COMPRESSION, 6}, bytes);
            if (encoded && progress.report(VANTORIX_STAGE_EXPORT, 0.5f)) {
                ctx->fail(vantorix::kCancelledMessage);
                return -1;
            }
            if (!encoded || !vantorix::write_file_atomic(path, bytes, &why)) {
                ctx->fail(std::string(vantorix::msg::kCutoutWrite) + ": " + why);
                return -2;
            }
            progress.report(VANTORIX_STAGE_EXPORT, 1.0f);
            return 0;
        });
    });
}

}  // extern "C"
