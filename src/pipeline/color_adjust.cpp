// Colour adjustments: saturation and vibrance, HSL bands, split toning.
#include <algorithm>
#include <array>
#include <cmath>

#include "pipeline/color_helpers.h"
#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"

namespace vantorix {

namespace {

using tonemath::clamp01;
using tonemath::luminance;
using tonemath::or_zero;

// Band centres in hue units: red, orange, yellow, green, cyan, blue, purple, magenta.
constexpr float kBandCentre[8] = {0.0f,        1.0f / 12.0f, 1.0f / 6.0f, 1.0f / 3.0f,
                                  0.5f,        2.0f / 3.0f,  7.0f / 9.0f, 5.0f / 6.0f};
constexpr float kBandHalfWidth = 0.09f;

}  // namespace

void apply_saturation_vibrance(cv::Mat& img, const Adjustments& adj) {
    const float saturation = or_zero(adj.saturation);
    const float vibrance = or_zero(adj.vibrance);
    if (saturation == 0.0f && vibrance == 0.0f) return;
    const float sf = saturation / 100.0f + 1.0f;
    const float vb = vibrance / 100.0f;

    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            float r = p[0], g = p[1], b = p[2];
            const float mx = std::max(r, std::max(g, b));
            const float mn = std::min(r, std::min(g, b));
            if (saturation != 0.0f) {
                const float lum = luminance(r, g, b);
                r = clamp01((r - lum) * sf + lum);
                g = clamp01((g - lum) * sf + lum);
                b = clamp01((b - lum) * sf + lum);
            }
            if (vibrance != 0.0f) {
                const float c = clamp01((mx - mn) * 3.0f);
                const float f = (1.0f - c) * vb * 0.8f + 1.0f;
                const float lum2 = luminance(r, g, b);
                r = clamp01((r - lum2) * f + lum2);
                g = clamp01((g - lum2) * f + lum2);
                b = clamp01((b - lum2) * f + lum2);
            }
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    });
}

void apply_hsl(cv::Mat& img, const Adjustments& adj) {
    std::array<HslBand, 8> bands;
    bool any = false;
    for (int i = 0; i < 8; ++i) {
        bands[i].hue = or_zero(adj.hsl[i].hue);
        bands[i].saturation = or_zero(adj.hsl[i].saturation);
        bands[i].luminance = or_zero(adj.hsl[i].luminance);
        any = any || bands[i].hue != 0.0f || bands[i].saturation != 0.0f || bands[i].luminance != 0.0f;
    }
    if (!any) return;

    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            float h, s, l;
            rgb_to_hsl(p[0], p[1], p[2], h, s, l);
            if (s < 0.0001f) continue;
            float w_sum = 0.0f, hs = 0.0f, ss = 0.0f, ls = 0.0f;
            for (int i = 0; i < 8; ++i) {
                float d = std::fabs(h - kBandCentre[i]);
                if (d > 0.5f) d = 1.0f - d;
                if (!(d < kBandHalfWidth)) continue;
                const float w = 1.0f - d / kBandHalfWidth;
                if (!(w >= 0.0001f)) continue;
                w_sum += w;
                hs += w * bands[i].hue;
                ss += w * bands[i].saturation;
                ls += w * bands[i].luminance;
            }
            if (w_sum < 0.0001f) continue;
            const float h2 = tonemath::fmod_small(hs / 360.0f + h + 2.0f, 1.0f);
            const float s2 = clamp01((ss / 100.0f + 1.0f) * s);
            const float l2 = clamp01(l + ls / 200.0f);
            hsl_to_rgb(h2, s2, l2, p[0], p[1], p[2]);
        }
    });
}

void apply_split_toning(cv::Mat& img, const Adjustments& adj) {
    const float hi_sat = or_zero(adj.split_highlight_saturation);
    const float sh_sat = or_zero(adj.split_shadow_saturation);
    if (hi_sat == 0.0f && sh_sat == 0.0f) return;
    const float hh = or_zero(adj.split_highlight_hue) / 360.0f;
    const float sh = or_zero(adj.split_shadow_hue) / 360.0f;
    const float ss = sh_sat / 100.0f;
    const float hs = hi_sat / 100.0f;
    const float bal = or_zero(adj.split_balance) / 100.0f * 0.3f;

    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            const float lum = luminance(p[0], p[1], p[2]);
            const float w_hi = clamp01(lum + bal);
            const float w_sh = clamp01(1.0f - lum - bal);
            float h, s, l;
            rgb_to_hsl(p[0], p[1], p[2], h, s, l);
            const float k = w_sh * ss + w_hi * hs;
            const float s2 = clamp01(s + k * 0.3f);
            const float h2 = h + (w_sh * sh + w_hi * hh - h) * (k * 0.5f);
            hsl_to_rgb(h2, s2, l, p[0], p[1], p[2]);
        }
    });
}

}  // namespace vantorix
