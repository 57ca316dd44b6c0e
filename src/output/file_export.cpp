// The preview export: the preview's pixels as a file, through the same atomic
// writer as every export.
#include <algorithm>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "io/file_io.h"
#include "output/histogram.h"
#include "pipeline/pipeline.h"

extern "C" {

VANTORIX_API int vantorix_export_preview(EngineContext* ctx, const char* path, int quality, int bits) {
    if (!ctx || !path) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* developed =
                vantorix::developed_image(ctx, vantorix::Develop::always, true, &progress);
            if (!developed) return -1;
            // The pixels vantorix_get_preview hands out.
            cv::Mat rgba(developed->rows(), developed->cols(), CV_8UC4);
            vantorix::render_preview(*ctx, *developed, rgba);
            cv::Mat bgr;
            cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
            if (bits == 16) bgr.convertTo(bgr, CV_16U, 257.0);
            const int q = std::max(std::min(quality, 100), 1);
            std::string why;
            if (!vantorix::write_image_file(path, bgr, {cv::IMWRITE_JPEG_QUALITY, q}, &why)) {
                ctx->fail("preview write failed: " + why);
                return -1;
            }
            return 0;
        });
    });
}

}  // extern "C"
