// Lens corrections: distortion, chromatic aberration, lens vignetting, defringe.
//
// The four corrections run in that order, each on the result of the one before;
// the image keeps its size. Settings that are not finite numbers (NaN, ±inf)
// switch their correction off.
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/color_helpers.h"
#include "pipeline/lens_corrections.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// Limits to 0..1; a NaN (0 × inf) becomes 0.
inline float clamp_unit(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }

// Resamples the whole image through a radial model centred on the frame.
void correct_distortion(cv::Mat& img, float distortion) {
    const float k = distortion / 100.0f * -0.5f;
    const int W = img.cols, H = img.rows;
    const float cx = static_cast<float>(W) * 0.5f;
    const float cy = static_cast<float>(H) * 0.5f;
    const float R = std::max(cx, cy);

    // The normalised column coordinates are the same on every row.
    std::vector<float> nxs(static_cast<size_t>(W)), nx2s(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) {
        const float nx = (static_cast<float>(x) - cx) / R;
        nxs[static_cast<size_t>(x)] = nx;
        nx2s[static_cast<size_t>(x)] = nx * nx;
    }
    cv::Mat map_x(H, W, CV_32FC1), map_y(H, W, CV_32FC1);
    for (int y = 0; y < H; ++y) {
        const float ny = (static_cast<float>(y) - cy) / R;
        const float ny2 = ny * ny;
        float* mx = map_x.ptr<float>(y);
        float* my = map_y.ptr<float>(y);
        for (int x = 0; x < W; ++x) {
            const float nx = nxs[static_cast<size_t>(x)];
            const float f = (nx2s[static_cast<size_t>(x)] + ny2) * k + 1.0f;
            mx[x] = f * nx * R + cx;
            my[x] = ny * f * R + cy;
        }
    }
    cv::Mat out;
    cv::remap(img, out, map_x, map_y, cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar(0));
    img = out;
}

// Scales the red plane up and the blue plane down about the centre.
void correct_chromatic_aberration(cv::Mat& img, float ca_correction) {
    const float s = ca_correction / 100.0f * 0.003f;
    // From s = 1 on the blue plane would have no size at all (scale <= 0).
    if (!(s < 1.0f)) return;
    const cv::Size size = img.size();
    const double grow = static_cast<double>(1.0f + s);
    const double shrink = static_cast<double>(1.0f - s);

    // Only the red and blue planes change: green and alpha stay in place.
    cv::Mat red, blue;
    cv::extractChannel(img, red, 0);
    cv::extractChannel(img, blue, 2);
    cv::resize(red, red, cv::Size(), grow, grow, cv::INTER_LINEAR);
    // The size the library will choose for the blue plane (0 < shrink <= 1).
    const int blue_w = cvRound(static_cast<double>(size.width) * shrink);
    const int blue_h = cvRound(static_cast<double>(size.height) * shrink);
    if (blue_w > 0 && blue_h > 0)
        cv::resize(blue, blue, cv::Size(), shrink, shrink, cv::INTER_LINEAR);
    else
        blue = cv::Mat();  // shrunk to nothing: the whole plane becomes border (0)
    fit_plane_to_size(red, size.width, size.height);
    fit_plane_to_size(blue, size.width, size.height);
    cv::insertChannel(red, img, 0);
    cv::insertChannel(blue, img, 2);
}

// Brightens towards the corners: gain 1 + 0.5·a·d², d = 1 at the corners.
void compensate_lens_vignette(cv::Mat& img, float lens_vignette) {
    const float a = lens_vignette / 100.0f;
    const int W = img.cols, H = img.rows;
    const float cx = static_cast<float>(W) * 0.5f;
    const float cy = static_cast<float>(H) * 0.5f;
    const float rd = std::sqrt(cx * cx + cy * cy);

    std::vector<float> dx2s(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) {
        const float dx = static_cast<float>(x) - cx;
        dx2s[static_cast<size_t>(x)] = dx * dx;
    }
    for (int y = 0; y < H; ++y) {
        const float dy = static_cast<float>(y) - cy;
        const float dy2 = dy * dy;
        float* p = img.ptr<float>(y);
        for (int x = 0; x < W; ++x, p += 4) {
            const float d = std::sqrt(dx2s[static_cast<size_t>(x)] + dy2) / rd;
            const float g = d * a * d * 0.5f + 1.0f;
            p[0] = clamp_unit(p[0] * g);
            p[1] = clamp_unit(p[1] * g);
            p[2] = clamp_unit(p[2] * g);
        }
    }
}

// Desaturates strongly coloured purple/magenta and green pixels.
void defringe(cv::Mat& img, float amount) {
    const float threshold = (1.0f - amount / 100.0f) * 0.5f;
    const float reduction = 1.0f - amount / 100.0f * 0.5f;
    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            float h, s, l;
            rgb_to_hsl(p[0], p[1], p[2], h, s, l);
            const bool purple = h > 0.65f && h < 0.85f;
            const bool green = h > 0.25f && h < 0.4f;
            if ((purple || green) && s > threshold) hsl_to_rgb(h, s * reduction, l, p[0], p[1], p[2]);
        }
    }
}

}  // namespace

void fit_plane_to_size(cv::Mat& plane, int width, int height) {
    if (plane.cols == width && plane.rows == height) return;
    const int dx = (plane.cols - width) / 2;
    const int dy = (plane.rows - height) / 2;
    if (plane.cols >= width && plane.rows >= height) {
        plane = plane(cv::Rect(dx, dy, width, height)).clone();
        return;
    }
    // Smaller: centre it on a zero plane. Each axis is handled on its own, so a
    // plane larger along one axis only is cropped there instead of overrunning.
    const int type = plane.empty() ? CV_32FC1 : plane.type();
    cv::Mat fitted(height, width, type, cv::Scalar(0));
    if (!plane.empty()) {
        const int src_x = std::max(dx, 0), dst_x = std::max(-dx, 0);
        const int src_y = std::max(dy, 0), dst_y = std::max(-dy, 0);
        const int w = std::min(plane.cols - src_x, width - dst_x);
        const int h = std::min(plane.rows - src_y, height - dst_y);
        if (w > 0 && h > 0) plane(cv::Rect(src_x, src_y, w, h)).copyTo(fitted(cv::Rect(dst_x, dst_y, w, h)));
    }
    plane = fitted;
}

void apply_lens_corrections(cv::Mat& img, const Adjustments& adj) {
    if (adj.distortion == 0.0f && !(adj.ca_correction > 0.0f) && !(adj.lens_vignette > 0.0f) &&
        !(adj.defringe > 0.0f))
        return;
    if (img.empty()) return;
    if (adj.distortion != 0.0f && std::isfinite(adj.distortion)) correct_distortion(img, adj.distortion);
    if (adj.ca_correction > 0.0f && std::isfinite(adj.ca_correction))
        correct_chromatic_aberration(img, adj.ca_correction);
    if (adj.lens_vignette > 0.0f && std::isfinite(adj.lens_vignette)) compensate_lens_vignette(img, adj.lens_vignette);
    if (adj.defringe > 0.0f && std::isfinite(adj.defringe)) defringe(img, adj.defringe);
}

}  // namespace vantorix
