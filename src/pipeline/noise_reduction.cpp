// Noise reduction: luminance (each pixel pulled toward a blurred luminance,
// keeping its colour ratios) and colour (red, green and blue blurred).
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/detail_helpers.h"
#include "pipeline/stages.h"

namespace vantorix {

void apply_noise_reduction(cv::Mat& img, const Adjustments& adj) {
    const float nr_lum = finite_setting(adj.nr_luminance);
    const float nr_col = finite_setting(adj.nr_color);
    const bool luminance_on = nr_lum > 0.0f;
    const bool color_on = nr_col > 0.0f;
    if ((!luminance_on && !color_on) || img.empty()) return;

    // Kernels never grow past the image's larger side, whatever the setting.
    const int bound = kernel_size_bound(img);
    // Planes, luminance and ratio live in this thread's scratch planes (no fresh pages per render).
    std::vector<cv::Mat>& planes = scratch_color_planes(img);

    if (luminance_on) {
        const float s = nr_lum / 100.0f;
        cv::Mat& lum = scratch_plane(3, img.size());
        luminance_plane(planes, lum);
        const int k = stepped_kernel_size(nr_lum, 5.0f, bound);
        cv::Mat& ratio = scratch_plane(4, img.size());
        cv::GaussianBlur(lum, ratio, cv::Size(k, k), 0.0, 0.0, cv::BORDER_REFLECT_101);
        const float a = s * 0.6f;
        const float b = 1.0f - a;
        // Q = blurred / (L + 1e-6), in the blurred plane's place.
        cv::add(lum, cv::Scalar(static_cast<double>(1e-6f)), lum);
        cv::divide(ratio, lum, ratio, 1.0);
        // plane * b + plane.mul(Q) * a, as the matrix expression evaluates it:
        // the scaled product first, then plane * b added to it.
        cv::Mat& product = lum;  // the luminance is no longer needed
        for (int c = 0; c < 3; ++c) {
            cv::multiply(planes[c], ratio, product, static_cast<double>(a));
            cv::scaleAdd(planes[c], static_cast<double>(b), product, planes[c]);
        }
    }

    if (color_on) {
        const int k2 = stepped_kernel_size(nr_col, 4.0f, bound);
        for (int c = 0; c < 3; ++c)
            cv::GaussianBlur(planes[c], planes[c], cv::Size(k2, k2), 0.0, 0.0, cv::BORDER_REFLECT_101);
    }

    store_color_planes(planes, img);
}

}  // namespace vantorix
