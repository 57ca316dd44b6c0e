// Tone curves: master and per-channel lookup curves.
#include <algorithm>
#include <cmath>
#include <vector>

#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"

namespace vantorix {

namespace {

using tonemath::clamp01;

// Ascending x; a NaN x sorts after every number (and ties with other NaNs),
// which keeps the ordering strict and weak.
bool x_less(const CurvePoint& a, const CurvePoint& b) {
    if (std::isnan(a.x)) return false;
    return std::isnan(b.x) || a.x < b.x;
}

// A copy of the points in ascending x order, equal x kept in stored order.
ToneCurve sorted_by_x(const ToneCurve& curve) {
    ToneCurve sorted(curve);
    std::stable_sort(sorted.begin(), sorted.end(), x_less);
    return sorted;
}

bool is_identity_pair(const ToneCurve& c) {
    return c.size() == 2 && c[0].x == 0.0f && c[0].y == 0.0f && c[1].x == 1.0f && c[1].y == 1.0f;
}

}  // namespace

bool curve_is_active(const ToneCurve& curve) {
    if (curve.size() < 2) return false;
    if (curve.size() > 2) return true;
    return !is_identity_pair(sorted_by_x(curve));
}

void build_curve_lut(const ToneCurve& curve, std::vector<float>& table) {
    table.resize(kCurveLutSize);
    if (!curve_is_active(curve)) {
        for (int i = 0; i < kCurveLutSize; ++i) table[i] = static_cast<float>(i) / 65535.0f;
        return;
    }
    const ToneCurve pts = sorted_by_x(curve);
    const int n = static_cast<int>(pts.size());
    // k is the first segment whose end point reaches x (at most n - 2). As x
    // only grows, the search resumes where the previous entry stopped: with the
    // points in ascending order this finds the same segment as a scan from 0.
    int k = 0;
    for (int i = 0; i < kCurveLutSize; ++i) {
        const float x = static_cast<float>(i) / 65535.0f;
        while (k < n - 2 && !(pts[k + 1].x >= x)) ++k;
        const float p0 = pts[std::max(k - 1, 0)].y;
        const float p1 = pts[k].y;
        const float p2 = pts[k + 1].y;
        const float p3 = pts[std::min(k + 2, n - 1)].y;
        const float dx = pts[k + 1].x - pts[k].x;
        const float t = dx > 1e-6f ? clamp01((x - pts[k].x) / dx) : 0.0f;
        const float t2 = t * t;
        const float t3 = t2 * t;
        const float v = 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                                (3.0f * p1 - p0 - 3.0f * p2 + p3) * t3);
        table[i] = clamp01(v);
    }
}

void apply_tone_curves(cv::Mat& img, const Adjustments& adj) {
    bool any_active = false;
    for (const ToneCurve& c : adj.tone_curves) any_active = any_active || curve_is_active(c);
    if (!any_active) return;

    std::vector<float> master, own[3];
    build_curve_lut(adj.tone_curves[0], master);
    for (int c = 0; c < 3; ++c) build_curve_lut(adj.tone_curves[c + 1], own[c]);

    // Each colour value goes through the master table and then its own table;
    // both look-ups depend only on the first index, so they are folded into one
    // table per channel.
    std::vector<float> folded(3 * static_cast<size_t>(kCurveLutSize));
    for (int c = 0; c < 3; ++c) {
        float* f = folded.data() + c * static_cast<size_t>(kCurveLutSize);
        for (int i = 0; i < kCurveLutSize; ++i) f[i] = own[c][curve_lut_index(master[i])];
    }
    const float* fr = folded.data();
    const float* fg = fr + kCurveLutSize;
    const float* fb = fg + kCurveLutSize;

    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            p[0] = fr[curve_lut_index(p[0])];
            p[1] = fg[curve_lut_index(p[1])];
            p[2] = fb[curve_lut_index(p[2])];
        }
    }
}

}  // namespace vantorix
