// Sharpening: an unsharp mask per colour plane; detail that stands out from a
// Gaussian blur by more than the threshold is added back, scaled by the amount.
#include <algorithm>
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/detail_helpers.h"
#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// Detail that stands out from the blur by more than theta, scaled by a and
// added back, clamped to 0..1: out = clamp(plane + a * D * (|D| > theta)),
// D = plane - blurred, through `masked` (all three of the same size).
void add_detail(const cv::Mat& plane, const cv::Mat& blurred, cv::Mat& masked, float a, float theta, cv::Mat& out) {
    for_each_row(plane.rows, [&](int y) {
        const float* p = plane.ptr<float>(y);
        const float* b = blurred.ptr<float>(y);
        float* m = masked.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x) {
            const float d = p[x] - b[x];
            const float mask = std::fabs(d) > theta ? 1.0f : 0.0f;
            m[x] = d * mask;
        }
    });
    // plane + masked * a, as the matrix expression evaluates it.
    cv::scaleAdd(masked, static_cast<double>(a), plane, out);
    clamp_unit(out);
}

// Rows per band: a multiple of 16, so that every band but the last holds a
// whole number of the widest vectors and each element meets the library's
// element-wise code at the same place as in one whole-image call.
constexpr int kBandRows = 64;
// Kernels reaching further than this develop the whole image at once.
constexpr int kMaxBandHalo = 64;

// The whole image at once, in the context's full-size scratch planes.
void sharpen_whole(cv::Mat& img, float a, float theta, int ksize, float sigma) {
    std::vector<cv::Mat>& planes = scratch_color_planes(img);
    cv::Mat& blurred = scratch_plane(3, img.size());  // becomes the masked detail in place
    for (int c = 0; c < 3; ++c) {
        cv::GaussianBlur(planes[c], blurred, cv::Size(ksize, ksize), static_cast<double>(sigma), 0.0,
                         cv::BORDER_REFLECT_101);
        add_detail(planes[c], blurred, blurred, a, theta, planes[c]);
    }
    store_color_planes(planes, img);
}

// Band by band: each band's planes are taken with `halo` rows of the
// unsharpened image above and below (fewer at the image's edges, which the
// blur then reflects as it does for the whole image), so the blur of the
// band's rows reads exactly the pixels it reads in one whole-image call. A
// band's result is written back only after the next band's rows were taken.
void sharpen_banded(cv::Mat& img, float a, float theta, int ksize, float sigma, int halo) {
    static const int from_to[] = {0, 0, 1, 1, 2, 2};
    const int rows = img.rows;
    auto take = [&](int y0, std::vector<cv::Mat>& planes) {
        const int top = std::max(0, y0 - halo), bottom = std::min(rows, y0 + kBandRows + halo);
        for (cv::Mat& p : planes) p.create(bottom - top, img.cols, CV_32FC1);
        cv::mixChannels(std::vector<cv::Mat>{img.rowRange(top, bottom)}, planes, from_to, 3);
        return y0 - top;  // the band's first row within the planes
    };
    std::vector<cv::Mat> current(3), next(3), out(3);
    cv::Mat blurred, masked;
    int offset = take(0, current);
    for (int y0 = 0; y0 < rows; y0 += kBandRows) {
        const int n = std::min(kBandRows, rows - y0);
        for (int c = 0; c < 3; ++c) {
            cv::GaussianBlur(current[c], blurred, cv::Size(ksize, ksize), static_cast<double>(sigma), 0.0,
                             cv::BORDER_REFLECT_101);
            masked.create(n, img.cols, CV_32FC1);
            out[c].create(n, img.cols, CV_32FC1);
            add_detail(current[c].rowRange(offset, offset + n), blurred.rowRange(offset, offset + n), masked, a, theta,
                       out[c]);
        }
        const int next_offset = y0 + n < rows ? take(y0 + n, next) : 0;
        std::vector<cv::Mat> dst{img.rowRange(y0, y0 + n)};
        cv::mixChannels(out, dst, from_to, 3);
        std::swap(current, next);
        offset = next_offset;
    }
}

}  // namespace

namespace {

void sharpen(cv::Mat& img, const Adjustments& adj, bool in_bands) {
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
    if (in_bands && ksize / 2 <= kMaxBandHalo && img.rows > kBandRows)
        sharpen_banded(img, a, theta, ksize, sigma, ksize / 2);
    else
        sharpen_whole(img, a, theta, ksize, sigma);
}

}  // namespace

void apply_sharpening(cv::Mat& img, const Adjustments& adj) { sharpen(img, adj, true); }

void apply_sharpening_whole(cv::Mat& img, const Adjustments& adj) { sharpen(img, adj, false); }

}  // namespace vantorix
