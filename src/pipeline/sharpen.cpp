// Sharpening: an unsharp mask per colour plane; detail that stands out from a
// Gaussian blur by more than the threshold is added back, scaled by the amount.
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/detail_helpers.h"
#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"

namespace vantorix {

void apply_sharpening(cv::Mat& img, const Adjustments& adj) {
    const float amount = finite_setting(adj.sharpen_amount);
    if (!(amount > 0.0f) || img.empty()) return;
    // A radius of 0, below 0 or NaN gives no blur kernel: nothing to sharpen.
    const float sigma = finite_setting(adj.sharpen_radius);
    if (!(sigma > 0.0f)) return;
    CV_Assert(img.type() == CV_32FC4);

    const float a = amount / 150.0f;
    float theta = adj.sharpen_threshold / 65535.0f;
    if (std::isnan(theta)) theta = std::numeric_limits<float>::infinity();  // no detail exceeds it
    // The kernel the library would derive from sigma, never past the image's larger side.
    const int ksize = gaussian_kernel_size(sigma, kernel_size_bound(img));

    // Planes and mask live in this thread's scratch planes (no fresh pages per render).
    std::vector<cv::Mat>& planes = scratch_color_planes(img);
    cv::Mat& masked = scratch_plane(3, img.size());
    for (int c = 0; c < 3; ++c) {
        cv::Mat& plane = planes[c];
        cv::GaussianBlur(plane, masked, cv::Size(ksize, ksize), static_cast<double>(sigma), 0.0,
                         cv::BORDER_REFLECT_101);
        // D = P - blur; mask = |D| > theta ? 1 : 0; masked = D * mask (one pass).
        for_each_row(plane.rows, [&](int y) {
            const float* p = plane.ptr<float>(y);
            float* m = masked.ptr<float>(y);
            for (int x = 0; x < plane.cols; ++x) {
                const float d = p[x] - m[x];
                const float mask = std::fabs(d) > theta ? 1.0f : 0.0f;
                m[x] = d * mask;
            }
        });
        // plane + masked * a, as the matrix expression evaluates it.
        cv::scaleAdd(masked, static_cast<double>(a), plane, plane);
        clamp_unit(plane);
    }
    store_color_planes(planes, img);
}

}  // namespace vantorix
