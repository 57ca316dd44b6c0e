#pragma once
// Scalar reference computations for the tone and colour tests, written
// directly from the formulas of each stage, one pixel at a time, single
// precision. They deliberately share no code with the engine.
#include <math.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <vector>

namespace toneref {

using Px = std::array<float, 4>;  // r, g, b, a

inline float clampf(float v) { return v < 0.0f ? 0.0f : std::min(v, 1.0f); }
inline float lum709(float r, float g, float b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

// --- white balance -------------------------------------------------------
inline std::array<float, 3> kelvin(float k) {
    const float x = k / 100.0f;
    float r, g, b;
    if (x <= 66.0f) {
        r = 255.0f;
        g = 99.4708023f * logf(x) - 161.119568f;
        b = (x <= 19.0f) ? 0.0f : 138.517731f * logf(x - 10.0f) - 305.0448f;
    } else {
        r = 329.69873f * powf(x - 60.0f, -0.133204758f);
        g = 288.122162f * powf(x - 60.0f, -0.0755148456f);
        b = 255.0f;
    }
    return {clampf(r / 255.0f), clampf(g / 255.0f), clampf(b / 255.0f)};
}
// Gains (R, G + tint term, B) for a temperature (already floored) and a tint.
inline std::array<float, 3> wb_gains(float temperature, float tint) {
    const auto t = kelvin(temperature);
    const auto n = kelvin(6500.0f);
    const float tt = tint / 150.0f * 0.15f;
    return {t[0] / n[0], t[1] / n[1] + tt, t[2] / n[2]};
}
inline Px white_balance(Px p, float temperature, float tint) {
    if (std::fabs(temperature - 6500.0f) < 1.0f && std::fabs(tint) < 0.1f) return p;
    const auto g = wb_gains(std::max(temperature, 1000.0f), tint);
    for (int c = 0; c < 3; ++c) p[c] = clampf(p[c] * g[c]);
    return p;
}

// --- exposure --------------------------------------------------------------
inline Px exposure(Px p, float ev) {
    if (ev == 0.0f) return p;
    const float gain = powf(2.0f, ev);
    for (int c = 0; c < 3; ++c) {
        const float v = p[c] * gain;
        p[c] = v > 1.0f ? 1.0f : v;
    }
    return p;
}

// --- highlights / shadows ---------------------------------------------------
inline Px highlights_shadows(Px p, float highlights, float shadows) {
    if (highlights == 0.0f && shadows == 0.0f) return p;
    const float h = highlights / 100.0f, s = shadows / 100.0f;
    const float L = std::max(1e-6f, 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]);
    if (s != 0.0f && L < 0.5f) {
        const float d = (0.5f - L) * 2.0f;
        const float den = d * d * d * s * 1.5f + 1.0f;
        float gm = 3.0f;  // denominator at or below 0: strongest darkening
        if (den > 0.0f) {
            const float g = 1.0f / den;
            gm = std::max(std::min(g, 3.0f), 0.3f);
        }
        for (int c = 0; c < 3; ++c) p[c] = clampf(powf(p[c], gm));
    }
    if (h != 0.0f && L > 0.5f) {
        const float e = (L - 0.5f) * 2.0f;
        const float k = std::max(std::min(e * e * h * 0.4f + 1.0f, 2.0f), 0.3f);
        for (int c = 0; c < 3; ++c) p[c] = clampf(k * p[c]);
    }
    return p;
}

// --- whites / blacks (the arithmetic of the scaled conversion is checked
// separately against OpenCV; here the plain quotient) --------------------------
inline Px whites_blacks_approx(Px p, float whites, float blacks) {
    if (whites == 0.0f && blacks == 0.0f) return p;
    const double wp = whites / 100.0f * 0.2f + 1.0f, bp = blacks / 100.0f * 0.1f;
    for (int c = 0; c < 3; ++c) {
        double v = (p[c] - bp) / (wp - bp);
        p[c] = static_cast<float>(v <= 0 ? 0 : std::min(v, 1.0));
    }
    return p;
}

// --- tone curves -----------------------------------------------------------
struct Pt {
    float x, y;
};
// The table of a curve whose points are given in the order to use, by the
// straightforward rule: a linear scan from index 0 for every entry.
inline std::vector<float> curve_table(const std::vector<Pt>& P) {
    std::vector<float> t(65536);
    const int n = static_cast<int>(P.size());
    const bool inactive = n < 2 || (n == 2 && P[0].x == 0.0f && P[0].y == 0.0f && P[1].x == 1.0f && P[1].y == 1.0f);
    for (int i = 0; i < 65536; ++i) {
        const float x = static_cast<float>(i) / 65535.0f;
        if (inactive) {
            t[i] = x;
            continue;
        }
        int k = n - 2;
        for (int j = 0; j < n - 1; ++j)
            if (P[j + 1].x >= x) {
                k = j;
                break;
            }
        const float p0 = P[std::max(k - 1, 0)].y, p1 = P[k].y, p2 = P[k + 1].y, p3 = P[std::min(k + 2, n - 1)].y;
        const float dx = P[k + 1].x - P[k].x;
        float tt = 0.0f;
        if (dx > 1e-6f) {
            tt = (x - P[k].x) / dx;
            tt = tt < 0.0f ? 0.0f : (tt > 1.0f ? 1.0f : tt);
        }
        const float t2 = tt * tt, t3 = t2 * tt;
        const float v = 0.5f * (2.0f * p1 + (p2 - p0) * tt + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                                (3.0f * p1 - p0 - 3.0f * p2 + p3) * t3);
        t[i] = clampf(v);
    }
    return t;
}
inline int lut_index(float v) { return static_cast<int>(clampf(v) * 65535.0f + 0.5f); }

// --- HSL colour model --------------------------------------------------------
inline void to_hsl(float r, float g, float b, float& h, float& s, float& l) {
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
    l = (mx + mn) * 0.5f;
    if (d < 1e-6f) {
        h = s = 0.0f;
        return;
    }
    s = d / (1.0f - std::fabs(2.0f * l - 1.0f));
    float h6;
    if (mx == r)
        h6 = fmodf((g - b) / d, 6.0f);
    else if (mx == g)
        h6 = (b - r) / d + 2.0f;
    else
        h6 = (r - g) / d + 4.0f;
    h = h6 / 6.0f;
    if (h < 0.0f) h += 1.0f;
}
inline void from_hsl(float h, float s, float l, float& r, float& g, float& b) {
    const float C = (1.0f - std::fabs(2.0f * l - 1.0f)) * s;
    const float X = C * (1.0f - std::fabs(fmodf(6.0f * h, 2.0f) - 1.0f));
    const float m = l - C * 0.5f;
    const long long sector = static_cast<long long>(truncf(6.0f * h)) % 6;  // finite, moderate hues only
    float rp = C, gp = 0.0f, bp = X;
    if (sector == 0) rp = C, gp = X, bp = 0.0f;
    if (sector == 1) rp = X, gp = C, bp = 0.0f;
    if (sector == 2) rp = 0.0f, gp = C, bp = X;
    if (sector == 3) rp = 0.0f, gp = X, bp = C;
    if (sector == 4) rp = X, gp = 0.0f, bp = C;
    r = clampf(m + rp);
    g = clampf(m + gp);
    b = clampf(m + bp);
}

// --- colour stages -------------------------------------------------------------
inline Px saturation_vibrance(Px p, float saturation, float vibrance) {
    if (saturation == 0.0f && vibrance == 0.0f) return p;
    const float sf = saturation / 100.0f + 1.0f, vb = vibrance / 100.0f;
    const float mx = std::max({p[0], p[1], p[2]}), mn = std::min({p[0], p[1], p[2]});
    if (saturation != 0.0f) {
        const float L = lum709(p[0], p[1], p[2]);
        for (int c = 0; c < 3; ++c) p[c] = clampf((p[c] - L) * sf + L);
    }
    if (vibrance != 0.0f) {
        const float c3 = clampf((mx - mn) * 3.0f);
        const float f = (1.0f - c3) * vb * 0.8f + 1.0f;
        const float L2 = lum709(p[0], p[1], p[2]);
        for (int c = 0; c < 3; ++c) p[c] = clampf((p[c] - L2) * f + L2);
    }
    return p;
}

struct Band {
    float hue, sat, lum;
};
inline Px hsl_bands(Px p, const std::array<Band, 8>& bands) {
    bool any = false;
    for (const Band& b : bands) any = any || b.hue != 0.0f || b.sat != 0.0f || b.lum != 0.0f;
    if (!any) return p;
    const float centre[8] = {0.0f, 0.083333336f, 0.16666667f, 0.33333334f, 0.5f, 0.6666667f, 0.7777778f, 0.8333333f};
    float h, s, l;
    to_hsl(p[0], p[1], p[2], h, s, l);
    if (s < 0.0001f) return p;
    float W = 0, Hs = 0, Ss = 0, Ls = 0;
    for (int i = 0; i < 8; ++i) {
        float d = std::fabs(h - centre[i]);
        if (d > 0.5f) d = 1.0f - d;
        if (d < 0.09f) {
            const float w = 1.0f - d / 0.09f;
            if (w >= 0.0001f) {
                W += w;
                Hs += w * bands[i].hue;
                Ss += w * bands[i].sat;
                Ls += w * bands[i].lum;
            }
        }
    }
    if (W < 0.0001f) return p;
    const float h2 = fmodf(Hs / 360.0f + h + 2.0f, 1.0f);
    const float s2 = clampf((Ss / 100.0f + 1.0f) * s);
    const float l2 = clampf(l + Ls / 200.0f);
    from_hsl(h2, s2, l2, p[0], p[1], p[2]);
    return p;
}

inline Px split_toning(Px p, float hi_hue, float hi_sat, float sh_hue, float sh_sat, float balance) {
    if (hi_sat == 0.0f && sh_sat == 0.0f) return p;
    const float hh = hi_hue / 360.0f, sh = sh_hue / 360.0f, ss = sh_sat / 100.0f, hs = hi_sat / 100.0f;
    const float L = lum709(p[0], p[1], p[2]);
    const float b = balance / 100.0f * 0.3f;
    const float wH = clampf(L + b), wS = clampf(1.0f - L - b);
    float h, s, l;
    to_hsl(p[0], p[1], p[2], h, s, l);
    const float k = wS * ss + wH * hs;
    const float s2 = clampf(s + k * 0.3f);
    const float h2 = h + (wS * sh + wH * hh - h) * (k * 0.5f);
    from_hsl(h2, s2, l, p[0], p[1], p[2]);
    return p;
}

// --- image helpers -------------------------------------------------------------
inline cv::Mat image_of(const std::vector<Px>& px) {
    cv::Mat m(1, static_cast<int>(px.size()), CV_32FC4);
    for (size_t i = 0; i < px.size(); ++i) m.at<cv::Vec4f>(0, static_cast<int>(i)) = {px[i][0], px[i][1], px[i][2], px[i][3]};
    return m;
}
inline Px px_at(const cv::Mat& m, int i) {
    const cv::Vec4f v = m.at<cv::Vec4f>(i / m.cols, i % m.cols);
    return {v[0], v[1], v[2], v[3]};
}
// Random colours in lo..hi, alpha in 0..1, w x h.
inline cv::Mat random_image(int w, int h, unsigned seed, float lo = 0.0f, float hi = 1.0f) {
    cv::Mat m(h, w, CV_32FC4);
    cv::RNG rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec4f>(y, x) = {rng.uniform(lo, hi), rng.uniform(lo, hi), rng.uniform(lo, hi), rng.uniform(0.0f, 1.0f)};
    return m;
}
// Bitwise equality of two float images.
inline bool same_bits(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}
// Every colour sample finite and within 0..1.
inline bool all_in_unit_range(const cv::Mat& m) {
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const float v = m.at<cv::Vec4f>(y, x)[c];
                if (!(v >= 0.0f && v <= 1.0f)) return false;
            }
    return true;
}

}  // namespace toneref
