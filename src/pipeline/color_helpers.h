#pragma once
// HSL conversions with hue as a fraction of a full turn (0 = red, 1/6 per
// colour sector). Defined inline: the colour stages call them per pixel.
#include <algorithm>
#include <cmath>

#include "pipeline/tone_color_math.h"

namespace vantorix {

// Saturation and lightness are 0..1 for inputs in 0..1; hue 0..1.
inline void rgb_to_hsl(float r, float g, float b, float& h, float& s, float& l) {
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float d = mx - mn;
    l = (mx + mn) * 0.5f;
    if (d < 1e-6f) {
        s = 0.0f;
        h = 0.0f;
        return;
    }
    s = d / (1.0f - std::fabs(2.0f * l - 1.0f));
    float h6;
    if (mx == r) {
        h6 = (g - b) / d;
        // |g - b| <= d, so the remainder modulo 6 is h6 itself for finite input.
        if (!(std::fabs(h6) < 6.0f)) h6 = std::fmod(h6, 6.0f);
    } else if (mx == g) {
        h6 = (b - r) / d + 2.0f;
    } else {
        h6 = (r - g) / d + 4.0f;
    }
    h = h6 / 6.0f;
    if (h < 0.0f) h = h + 1.0f;
}

// Writes each output clamped to 0..1 (a NaN result becomes 0). The hue need not
// be wrapped: any finite value selects its sector by trunc(6h) modulo 6 (a
// negative remainder selects the last sector).
inline void hsl_to_rgb(float h, float s, float l, float& r, float& g, float& b) {
    const float c = (1.0f - std::fabs(2.0f * l - 1.0f)) * s;
    const float h6 = 6.0f * h;
    const float x = c * (1.0f - std::fabs(tonemath::fmod_small(h6, 2.0f) - 1.0f));
    const float m = l - c * 0.5f;
    // trunc(6h) reduced modulo 6 with the dividend's sign; computed in float so
    // that a NaN or huge hue never meets an undefined conversion.
    const float t = std::trunc(h6);
    int sector = 5;
    if (std::fabs(t) < 6.0f)
        sector = static_cast<int>(t);
    else if (std::isfinite(t))
        sector = static_cast<int>(std::fmod(t, 6.0f));
    float rp, gp, bp;
    switch (sector) {
        case 0: rp = c; gp = x; bp = 0.0f; break;
        case 1: rp = x; gp = c; bp = 0.0f; break;
        case 2: rp = 0.0f; gp = c; bp = x; break;
        case 3: rp = 0.0f; gp = x; bp = c; break;
        case 4: rp = x; gp = 0.0f; bp = c; break;
        default: rp = c; gp = 0.0f; bp = x; break;
    }
    r = tonemath::clamp01(m + rp);
    g = tonemath::clamp01(m + gp);
    b = tonemath::clamp01(m + bp);
}

}  // namespace vantorix
