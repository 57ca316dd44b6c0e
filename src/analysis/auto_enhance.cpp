// Auto enhance and auto white balance: a full set of basic settings measured
// on a 512-pixel-wide copy of the loaded image.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "engine/context.h"
#include "engine/guard.h"
#include "engine/histogram.h"

namespace vantorix {

namespace {

inline float clamp_to(float v, float lo, float hi) { return std::max(std::min(v, hi), lo); }

// The white balance the pipeline leaves unchanged: the proposal never depends
// on the image.
constexpr float kNeutralTemperature = 6500.0f;
constexpr float kNeutralTint = 0.0f;

}  // namespace

void histogram_mean_std(const uint32_t* histogram, float& mean, float& stddev) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < 256; ++i) {
        const double c = histogram[i];
        const double x = i / 255.0;
        s0 += c;
        s1 += c * x;
        s2 += c * (x * x);
    }
    if (s0 < 1.0) {
        mean = 0.5f;
        stddev = 0.0f;
        return;
    }
    const double m = s1 / s0;
    const double variance = s2 / s0 - m * m;
    mean = static_cast<float>(m);
    stddev = static_cast<float>(std::sqrt(std::max(variance, 0.0)));
}

void analysis_histograms(const cv::Mat& analysis, uint32_t* red, uint32_t* green, uint32_t* blue, uint32_t* lum) {
    CV_Assert(analysis.type() == CV_32FC4 || analysis.type() == CV_16UC4);
    if (analysis.depth() == CV_32F) {
        compute_histogram(analysis, red, green, blue, lum);
        return;
    }
    // Strips of rows converted as to_float does, counted and summed: the same
    // counts without a float copy of the whole image.
    std::fill(red, red + 256, 0u);
    std::fill(green, green + 256, 0u);
    std::fill(blue, blue + 256, 0u);
    std::fill(lum, lum + 256, 0u);
    constexpr int kStrip = 32;
    cv::Mat strip;
    uint32_t r[256], g[256], b[256], l[256];
    for (int y = 0; y < analysis.rows; y += kStrip) {
        const int rows = std::min(kStrip, analysis.rows - y);
        analysis.rowRange(y, y + rows).convertTo(strip, CV_32F, kSampleToFloat);
        compute_histogram(strip, r, g, b, l);
        for (int i = 0; i < 256; ++i) {
            red[i] += r[i];
            green[i] += g[i];
            blue[i] += b[i];
            lum[i] += l[i];
        }
    }
}

void enhance_from_analysis(const cv::Mat& analysis, float* slots) {
    uint32_t red[256], green[256], blue[256], lum[256];
    analysis_histograms(analysis, red, green, blue, lum);

    const float exposure = exposure_from_histogram(lum);

    uint32_t n = 0;
    for (int i = 0; i < 256; ++i) n += lum[i];
    float p_hi = 0.0f, p_lo = 0.0f;
    if (n >= 1) {
        p_hi = static_cast<float>(lum[255]) / static_cast<float>(n);
        p_lo = static_cast<float>(lum[0]) / static_cast<float>(n);
    }

    float mean = 0.0f, sigma = 0.0f;
    histogram_mean_std(lum, mean, sigma);

    // Fine-detail energy: spread of the 3 x 3 Laplacian of the luminance.
    const cv::Mat luminance = luminance_plane(analysis);
    cv::Mat laplacian;
    cv::Laplacian(luminance, laplacian, CV_32F, 1, 1.0, 0.0, cv::BORDER_REFLECT_101);
    cv::Scalar lap_mean, lap_std;
    cv::meanStdDev(laplacian, lap_mean, lap_std);
    const float sigma_detail = static_cast<float>(lap_std[0]);

    float contrast = (0.15f - sigma) / 0.15f * 15.0f;
    contrast = clamp_to(contrast, -20.0f, 25.0f);
    contrast = std::min(contrast, 15.0f);

    float highlights = p_hi <= 0.01f ? 0.0f : -std::min(p_hi * 500.0f, 50.0f);
    highlights = std::max(highlights, -40.0f);

    float shadows = p_lo <= 0.01f ? 0.0f : std::min(p_lo * 400.0f, 30.0f);
    shadows = std::max(15.0f, shadows);
    shadows = clamp_to(shadows, 0.0f, 25.0f);

    float noise = (0.1f - sigma_detail) / 0.1f * 80.0f + 20.0f;
    noise = clamp_to(noise, 0.0f, 100.0f);
    noise = std::min(noise, 60.0f);
    noise = std::max(noise, 0.0f);
    noise = std::min(noise, 20.0f);

    std::fill(slots, slots + 32, 0.0f);
    slots[0] = clamp_to(exposure, -2.0f, 2.0f);
    slots[1] = 0.0f;         // brightness
    slots[2] = contrast;
    slots[3] = highlights;
    slots[4] = shadows;
    slots[5] = 0.0f;         // whites
    slots[6] = 5.0f;         // blacks
    slots[7] = kNeutralTemperature;
    slots[8] = kNeutralTint;
    slots[9] = 0.0f;         // saturation
    slots[10] = 8.0f;        // vibrance
    slots[11] = 0.0f;        // sharpen amount
    slots[12] = 0.0f;        // sharpen radius
    slots[13] = 0.0f;        // sharpen threshold
    slots[14] = noise;       // nr luminance
    slots[15] = 1.0f;        // nr color
    slots[16] = 0.0f;        // clarity
    slots[17] = 0.0f;        // texture
    slots[18] = 0.0f;        // dehaze
}

void analyze_enhance(const EngineContext* ctx, AutoEnhanceResult& result) {
    if (!ctx || !ctx->has_image()) return;
    const ImageBuffer& source = ctx->source_image();
    const int height = analysis_height(source.cols(), source.rows(), kEnhanceAnalysisWidth);
    const ImageBuffer analysis = analysis_buffer(source, kEnhanceAnalysisWidth, height);
    float slots[32];
    enhance_from_analysis(analysis.mat, slots);
    std::memcpy(result.slots, slots, sizeof(slots));
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_auto_enhance(EngineContext* ctx, AutoEnhanceResult* out_settings) {
    if (!ctx || !out_settings) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->require_image()) return -1;
        AutoEnhanceResult result{};
        vantorix::analyze_enhance(ctx, result);
        *out_settings = result;
        return 0;
    });
}

VANTORIX_API int vantorix_auto_white_balance(EngineContext* ctx, float* out_temperature, float* out_tint) {
    if (!ctx || !out_temperature || !out_tint) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->require_image()) return -1;
        // Slots 7 and 8 of the enhance proposal are the neutral white balance
        // whatever the image holds, so the measurement is not run for them.
        *out_temperature = vantorix::kNeutralTemperature;
        *out_tint = vantorix::kNeutralTint;
        return 0;
    });
}

}  // extern "C"
