// Auto level: the tilt of the picture from its straight lines, horizontal and
// vertical, with a refusal when the lines do not settle it.
//
// Line segments (LSD) of the 8-bit luminance of the 800-pixel analysis copy
// vote, weighted by their length, in a histogram of 0.1-degree bins over
// +-30 degrees (vertical segments fold onto the horizontal by -+90 degrees).
// The smoothed histogram's first maximum picks the dominant tilt, refined by
// two length-weighted means within +-0.5 degrees. The answer is refused when
// too little line length agrees (no evidence), when a rival peak more than 2
// degrees away is nearly as strong (ambiguous) or when the tilt is beyond 10
// degrees (out of range).
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "engine/context.h"
#include "engine/guard.h"

namespace vantorix {

namespace {

constexpr double kMinSegmentLength = 20.0;  // pixels, exclusive
constexpr double kHorizontalLimit = 30.0;   // degrees from horizontal
constexpr double kVerticalLimit = 60.0;     // degrees from horizontal, at least
constexpr int kBins = 600;                  // 0.1 degree each over [-30, 30)
constexpr double kBinWidth = 0.1;
constexpr double kSmoothSigma = 3.0;  // bins
constexpr int kSmoothKernel = 25;     // bins, +-4 sigma
constexpr double kWindow = 0.5;       // degrees either side of the peak
constexpr double kSupportScale = 800.0;  // analysis width: S = agreeing length / width
constexpr double kMinSupport = 0.75;
constexpr double kRivalDistance = 2.0;  // degrees
constexpr double kMaxRivalRatio = 0.7;
constexpr double kMaxTilt = 10.0;  // degrees
constexpr double kConfidenceScale = 1.5;

// Weighted mean of the samples within kWindow of `centre`; false when none.
bool window_mean(const std::vector<LevelSample>& samples, double centre, double& mean, double& weight) {
    double sum = 0.0, total = 0.0;
    for (const LevelSample& s : samples) {
        if (std::fabs(s.angle - centre) <= kWindow) {
            sum += s.angle * s.weight;
            total += s.weight;
        }
    }
    if (!(total > 0.0)) return false;
    mean = sum / total;
    weight = total;
    return true;
}

}  // namespace

std::vector<LevelSample> level_samples(const std::vector<cv::Vec4f>& segments) {
    std::vector<LevelSample> samples;
    samples.reserve(segments.size());
    for (const cv::Vec4f& s : segments) {
        const double dx = static_cast<double>(s[2]) - static_cast<double>(s[0]);
        const double dy = static_cast<double>(s[3]) - static_cast<double>(s[1]);
        const double length = std::sqrt(dx * dx + dy * dy);
        if (!(length > kMinSegmentLength)) continue;  // also NaN
        double a = std::atan2(dy, dx) * 180.0 / CV_PI;
        while (a > 90.0) a -= 180.0;
        while (a <= -90.0) a += 180.0;
        if (std::fabs(a) <= kHorizontalLimit)
            samples.push_back({a, length});
        else if (std::fabs(a) >= kVerticalLimit)
            samples.push_back({a > 0.0 ? a - 90.0 : a + 90.0, length});
    }
    return samples;
}

LevelResult level_from_samples(const std::vector<LevelSample>& samples) {
    LevelResult r;
    if (samples.empty()) return r;

    cv::Mat hist(1, kBins, CV_64F, cv::Scalar(0));
    double* h = hist.ptr<double>();
    for (const LevelSample& s : samples) {
        const int bin = static_cast<int>(std::floor((s.angle + kHorizontalLimit) / kBinWidth));
        h[std::min(std::max(bin, 0), kBins - 1)] += s.weight;
    }
    cv::Mat smooth;
    cv::GaussianBlur(hist, smooth, cv::Size(kSmoothKernel, 1), kSmoothSigma, 0.0, cv::BORDER_CONSTANT);
    const double* g = smooth.ptr<double>();
    int peak = 0;
    for (int i = 1; i < kBins; ++i)
        if (g[i] > g[peak]) peak = i;  // the first maximum
    const double m = -kHorizontalLimit + (peak + 0.5) * kBinWidth;

    double mean = 0.0, weight = 0.0;
    if (!window_mean(samples, m, mean, weight)) return r;
    double refined = mean;
    if (!window_mean(samples, mean, refined, weight)) return r;
    r.estimate = refined;
    r.support = weight / kSupportScale;

    double rival = 0.0;
    for (int i = 0; i < kBins; ++i) {
        const double centre = -kHorizontalLimit + (i + 0.5) * kBinWidth;
        if (std::fabs(centre - refined) > kRivalDistance) rival = std::max(rival, g[i]);
    }
    r.ratio2 = g[peak] > 0.0 ? rival / g[peak] : 1.0;

    if (r.support < kMinSupport)
        r.status = 1;
    else if (r.ratio2 > kMaxRivalRatio)
        r.status = 2;
    else if (std::fabs(r.estimate) > kMaxTilt)
        r.status = 3;
    else
        r.status = 0;
    // Rises with the agreeing line length (0.39 at the threshold, 0.86 at
    // S = 3) and falls linearly with the strength of the strongest rival.
    const double c = (1.0 - std::exp(-r.support / kConfidenceScale)) * (1.0 - r.ratio2);
    r.confidence = static_cast<float>(std::min(std::max(c, 0.0), 1.0));
    return r;
}

LevelResult level_of_luma(const cv::Mat& luma8) {
    CV_Assert(luma8.type() == CV_8UC1);
    std::vector<cv::Vec4f> segments;
    if (luma8.rows >= 2 && luma8.cols >= 2)
        cv::createLineSegmentDetector(cv::LSD_REFINE_STD)->detect(luma8, segments);
    return level_from_samples(level_samples(segments));
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_auto_level(EngineContext* ctx, float* out_rotation, float* out_confidence) {
    if (!ctx || !out_rotation || !out_confidence) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->require_image()) return -1;
        const vantorix::ImageBuffer analysis = vantorix::straighten_analysis(ctx->source_image());
        const vantorix::LevelResult r = vantorix::level_of_luma(vantorix::straighten_luma8(analysis.mat));
        // In image coordinates (y down) a positive angle is a clockwise tilt,
        // which the rotation setting (positive = counter-clockwise) undoes
        // with the same value.
        *out_rotation = r.status == 0 ? static_cast<float>(r.estimate) : 0.0f;
        *out_confidence = r.status == 0 ? r.confidence : 0.0f;
        return r.status;
    });
}

}  // extern "C"
