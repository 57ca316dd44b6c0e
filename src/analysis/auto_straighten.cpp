// Auto straighten: the tilt of the long, nearly horizontal edges.
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "engine/context.h"
#include "engine/guard.h"

namespace vantorix {

cv::Mat straighten_luma8(const cv::Mat& analysis) {
    cv::Mat gray;
    luminance_plane(analysis).convertTo(gray, CV_8U, 255.0, 0.0);
    return gray;
}

std::vector<cv::Vec4i> straighten_segments(const cv::Mat& analysis) {
    const cv::Mat gray = straighten_luma8(analysis);
    cv::Mat blurred, edges;
    cv::GaussianBlur(gray, blurred, cv::Size(5, 5), 0.0, 0.0, cv::BORDER_REFLECT_101);
    cv::Canny(blurred, edges, 50.0, 150.0, 3, false);
    std::vector<cv::Vec4i> segments;
    const double theta = static_cast<float>(CV_PI / 180.0);
    cv::HoughLinesP(edges, segments, 1.0, theta, 50, 50.0, 10.0);
    return segments;
}

float straighten_from_segments(const std::vector<cv::Vec4i>& segments) {
    float sum_len = 0.0f;
    float sum_ang = 0.0f;
    for (const cv::Vec4i& s : segments) {
        const float dx = static_cast<float>(s[2] - s[0]);
        const float dy = static_cast<float>(s[3] - s[1]);
        const float length = std::sqrt(dx * dx + dy * dy);
        float angle = std::atan2(dy, dx) * 180.0f / 3.1415927f;
        while (angle > 90.0f) angle += -180.0f;
        while (angle < -90.0f) angle += 180.0f;
        if (std::fabs(angle) <= 30.0f && length > 20.0f) {
            sum_len += length;
            sum_ang += angle * length;
        }
    }
    if (!(sum_len > 0.0f)) return 0.0f;
    // In image coordinates (y down) a positive angle is a line whose right end
    // is lower: the picture is turned clockwise by that much, and the rotation
    // setting (positive = counter-clockwise) levels it with the same value.
    const float mean = sum_ang / sum_len;
    return std::max(std::min(mean, 45.0f), -45.0f);
}

ImageBuffer straighten_analysis(const ImageBuffer& source) {
    const int height = analysis_height(source.cols(), source.rows(), kStraightenAnalysisWidth);
    return analysis_buffer(source, kStraightenAnalysisWidth, height);
}

float auto_straighten_of(const ImageBuffer& source) {
    return straighten_from_segments(straighten_segments(straighten_analysis(source).mat));
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_auto_straighten(EngineContext* ctx, float* out_angle) {
    if (!ctx || !out_angle) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->require_image()) return -1;
        *out_angle = vantorix::auto_straighten_of(ctx->source_image());
        return 0;
    });
}

}  // extern "C"
