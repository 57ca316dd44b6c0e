// Auto exposure: an exposure proposal from the median luminance.
#include <algorithm>
#include <cmath>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "engine/context.h"
#include "engine/guard.h"

namespace vantorix {

namespace {

// trunc(v * 255 + 0.5) in single precision, limited to 0..255 (NaN gives 0).
inline int luminance_bin(float v) {
    const float scaled = v * 255.0f + 0.5f;
    if (!(scaled >= 1.0f)) return 0;
    if (scaled >= 256.0f) return 255;
    return static_cast<int>(scaled);
}

}  // namespace

float exposure_from_histogram(const uint32_t* histogram) {
    uint64_t total = 0;
    for (int i = 0; i < 256; ++i) total += histogram[i];
    float median = 0.5f;
    if (total != 0) {
        const uint64_t target = static_cast<uint64_t>(static_cast<float>(total) * 0.5f);
        median = 1.0f;
        uint64_t running = 0;
        for (int i = 0; i < 256; ++i) {
            running += histogram[i];
            if (running >= target) {
                median = static_cast<float>(i) / 255.0f;
                break;
            }
        }
    }
    median = std::max(median, 0.001f);
    const float e = std::log2(0.42f / median) * 0.35f;
    return std::max(std::min(e, 1.0f), -1.0f);
}

void luminance_histogram(const cv::Mat& luminance, uint32_t* histogram) {
    CV_Assert(luminance.empty() || luminance.type() == CV_32FC1);
    std::fill(histogram, histogram + 256, 0u);
    for (int y = 0; y < luminance.rows; ++y) {
        const float* p = luminance.ptr<float>(y);
        for (int x = 0; x < luminance.cols; ++x) ++histogram[luminance_bin(p[x])];
    }
}

float auto_exposure_of(const ImageBuffer& source) {
    const ImageBuffer analysis = analysis_buffer(source, kExposureAnalysisSize, kExposureAnalysisSize);
    uint32_t histogram[256];
    luminance_histogram(luminance_plane(analysis.mat), histogram);
    return exposure_from_histogram(histogram);
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_auto_exposure(EngineContext* ctx, float* out_exposure) {
    if (!ctx || !out_exposure) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->require_image()) return -1;
        *out_exposure = vantorix::auto_exposure_of(ctx->source_image());
        return 0;
    });
}

}  // extern "C"
