// Creative vignette and film grain, the last two development steps.
//
// Settings that are not finite numbers (NaN, ±inf) switch their stage off.
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// Limits to 0..1; NaN becomes 0.
inline float clamp_unit(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }

struct VignetteParams {
    float a;         // amount / 100
    float strength;  // |a|
    float m;         // midpoint / 100
    float blend;     // 2r, r = (roundness + 100) / 200
    float span;      // 1 - m + 1e-6
};

// One row; the shape (squared or elliptical distance) and the direction
// (lighten or darken) are fixed per image, so each combination gets its own loop.
template <bool Squared, bool Lighten>
void vignette_row(float* p, const float* nxs, int cols, float ny, const VignetteParams& v) {
    const float ny2 = ny * ny;
    const float any = std::fabs(ny);
    for (int x = 0; x < cols; ++x, p += 4) {
        const float nx = nxs[x];
        float dist = std::sqrt(nx * nx + ny2);
        if (Squared) {
            const float q = std::max(std::fabs(nx), any);
            dist = q + v.blend * (dist - q);
        }
        float t = (dist - v.m) / v.span;
        t = t > 0.0f ? std::min(t, 1.0f) : 0.0f;
        const float s = (3.0f - 2.0f * t) * (t * t);
        if (Lighten) {
            for (int c = 0; c < 3; ++c) p[c] = clamp_unit(p[c] + (1.0f - p[c]) * s * v.a);
        } else {
            const float factor = 1.0f - s * v.strength;
            for (int c = 0; c < 3; ++c) p[c] = clamp_unit(p[c] * factor);
        }
    }
}

}  // namespace

// A positive amount moves R, G and B toward white by S·a; a negative amount
// darkens them by the factor 1 − S·|a|. S is a smoothstep of the distance from
// the centre (each axis normalised to 1 at the middle of its edges), 0 up to
// the midpoint and 1 from the edge of the inscribed ellipse on.
void apply_vignette(cv::Mat& img, const Adjustments& adj) {
    if (adj.vignette_amount == 0.0f || img.rows == 0) return;
    if (!std::isfinite(adj.vignette_amount) || !std::isfinite(adj.vignette_midpoint) ||
        !std::isfinite(adj.vignette_roundness))
        return;
    VignetteParams v;
    v.a = adj.vignette_amount / 100.0f;
    v.strength = std::fabs(v.a);
    v.m = adj.vignette_midpoint / 100.0f;
    const float r = (adj.vignette_roundness + 100.0f) / 200.0f;
    v.blend = 2.0f * r;
    v.span = 1.0f - v.m + 1e-6f;
    const float cx = static_cast<float>(img.cols) * 0.5f;
    const float cy = static_cast<float>(img.rows) * 0.5f;
    const bool squared = r < 0.5f;
    const bool lighten = v.a > 0.0f;

    // Per-column terms are the same on every row.
    std::vector<float> nxs(static_cast<size_t>(img.cols));
    for (int x = 0; x < img.cols; ++x) nxs[static_cast<size_t>(x)] = (static_cast<float>(x) - cx) / cx;
    auto row = squared ? (lighten ? vignette_row<true, true> : vignette_row<true, false>)
                       : (lighten ? vignette_row<false, true> : vignette_row<false, false>);
    for_each_row(img.rows, [&](int y) {
        const float ny = (static_cast<float>(y) - cy) / cy;
        row(img.ptr<float>(y), nxs.data(), img.cols, ny, v);
    });
}

// Adds one blurred Gaussian noise field, drawn from OpenCV's random generator
// of the calling thread, equally to R, G and B; the grain differs from run to run.
void apply_grain(cv::Mat& img, const Adjustments& adj) {
    if (!(adj.grain_amount > 0.0f) || img.empty()) return;
    if (!std::isfinite(adj.grain_amount) || !std::isfinite(adj.grain_size)) return;
    const float sigma = adj.grain_amount / 100.0f * 0.05f;
    const float g = adj.grain_size / 100.0f;

    cv::Mat field(img.rows, img.cols, CV_32FC1);
    cv::randn(field, cv::Scalar(0.0), cv::Scalar(static_cast<double>(sigma)));
    if (g > 0.01f) {
        // A blur much wider than the image changes nothing meaningful and would
        // overflow the library's kernel size: limit it to the longer side.
        const float longest = static_cast<float>(std::max(img.cols, img.rows));
        const float blur_sigma = std::min(2.0f * g + 0.5f, longest);
        cv::GaussianBlur(field, field, cv::Size(0, 0), static_cast<double>(blur_sigma), 0.0, cv::BORDER_REFLECT_101);
        cv::Scalar mean, sd;
        cv::meanStdDev(field, mean, sd);
        if (sd[0] > 1e-6) field *= static_cast<double>(sigma) / sd[0];
    }

    // Per colour channel: add the field, then THRESH_TOZERO at 0 and
    // THRESH_TRUNC at 1, fused into one pass; alpha is left alone.
    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        const float* n = field.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            for (int c = 0; c < 3; ++c) {
                float v = p[c] + n[x];
                v = v > 0.0f ? v : 0.0f;
                p[c] = v > 1.0f ? 1.0f : v;
            }
        }
    });
}

}  // namespace vantorix
