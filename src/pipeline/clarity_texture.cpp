// Clarity and texture: local contrast at two scales. The luminance detail
// (luminance minus its Gaussian blur) is added to red, green and blue alike,
// so contrast changes without a shift of hue.
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/detail_helpers.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// planes[0..2] += (lum - GaussianBlur(lum, sigma)) * k, each clamped to 0..1.
// `detail` is scratch space.
void add_luminance_detail(std::vector<cv::Mat>& planes, const cv::Mat& lum, double sigma, float k, cv::Mat& detail) {
    cv::GaussianBlur(lum, detail, cv::Size(0, 0), sigma, 0.0, cv::BORDER_REFLECT_101);
    cv::subtract(lum, detail, detail);
    for (int c = 0; c < 3; ++c) {
        // plane + detail * k, as the matrix expression evaluates it.
        cv::scaleAdd(detail, static_cast<double>(k), planes[c], planes[c]);
        clamp_unit(planes[c]);
    }
}

}  // namespace

void apply_clarity_texture(cv::Mat& img, const Adjustments& adj) {
    const float clarity = finite_setting(adj.clarity);
    const float texture = finite_setting(adj.texture);
    if ((clarity == 0.0f && texture == 0.0f) || img.empty()) return;

    // Planes, luminance and detail live in this thread's scratch planes, so a
    // re-render touches no fresh pages.
    std::vector<cv::Mat>& planes = scratch_color_planes(img);
    // One luminance plane for both scales, taken before clarity changes the planes.
    cv::Mat& lum = scratch_plane(3, img.size());
    luminance_plane(planes, lum);
    cv::Mat& detail = scratch_plane(4, img.size());
    if (clarity != 0.0f) add_luminance_detail(planes, lum, 20.0, clarity / 100.0f * 0.3f, detail);
    if (texture != 0.0f) add_luminance_detail(planes, lum, 3.0, texture / 100.0f * 0.2f, detail);
    store_color_planes(planes, img);
}

}  // namespace vantorix
