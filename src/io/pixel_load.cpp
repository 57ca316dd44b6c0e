// vantorix_load_pixels: an image handed over in memory becomes the working
// image the same way a decoded file does (bounded size, 16-bit RGBA).
#include <algorithm>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <string>

#include "engine/context.h"
#include "engine/guard.h"

namespace {

// The reason the layout is unusable, or nullptr when it is fine.
const char* layout_problem(int width, int height, int channels, int bits, int64_t& stride) {
    if (width < 1 || height < 1) return "width and height must be at least 1";
    if (width > 65535 || height > 65535) return "width and height must be at most 65535";
    if (channels != 3 && channels != 4) return "channels must be 3 (RGB) or 4 (RGBA)";
    if (bits != 8 && bits != 16) return "bits_per_sample must be 8 or 16";
    const int64_t row = int64_t(width) * channels * (bits / 8);
    if (stride == 0) stride = row;
    if (stride < row) return "stride_bytes is smaller than one row of pixels";
    if (bits == 16 && stride % 2 != 0) return "stride_bytes must be even for 16-bit samples";
    return nullptr;
}

}  // namespace

extern "C" {

VANTORIX_API int vantorix_load_pixels(EngineContext* ctx, const void* pixels, int width, int height, int channels,
                                      int bits_per_sample, int stride_bytes) {
    if (!ctx || !pixels) return -1;
    ctx->processed_valid = false;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        int64_t stride = stride_bytes;
        if (const char* problem = layout_problem(width, height, channels, bits_per_sample, stride)) {
            ctx->fail(std::string(vantorix::msg::kPixelLayout) + problem);
            return -1;
        }
        const int depth = bits_per_sample == 8 ? CV_8U : CV_16U;
        // A view of the host's rows: nothing is copied until the first conversion.
        const cv::Mat host(height, width, CV_MAKETYPE(depth, channels), const_cast<void*>(pixels),
                           static_cast<size_t>(stride));
        // Same reduction as a decoded file: 4096 pixels on the longer side, area interpolation. It acts on
        // each channel alone, so reducing before alpha is dropped gives the same colours, without a
        // full-size copy of the host's image.
        cv::Mat reduced = host;
        const int longer = std::max(width, height);
        if (longer > 4096) {
            const float factor = 4096.0f / static_cast<float>(longer);
            cv::Mat small;
            cv::resize(host, small, cv::Size(), factor, factor, cv::INTER_AREA);
            reduced = small;
        }
        cv::Mat rgba;
        if (channels == 4) {  // alpha is not kept, as for files: the working alpha is full
            cv::Mat rgb;
            cv::cvtColor(reduced, rgb, cv::COLOR_RGBA2RGB);
            cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        } else {
            cv::cvtColor(reduced, rgba, cv::COLOR_RGB2RGBA);
        }
        reduced.release();
        cv::Mat wide;
        rgba.convertTo(wide, CV_16U, depth == CV_8U ? 257.0 : 1.0);
        ctx->pipeline.working = vantorix::ImageBuffer::adopt(wide);
        ctx->loaded_path.clear();
        ctx->adjustments = vantorix::Adjustments();
        ctx->raw = vantorix::RawImage();
        return 0;
    });
}

}  // extern "C"
