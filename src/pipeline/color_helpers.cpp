#include "pipeline/color_helpers.h"

#include <algorithm>
#include <cmath>

#include "pipeline/tone_color_math.h"

namespace vantorix {

using tonemath::clamp01;

void rgb_to_hsl(float r, float g, float b, float& h, float& s, float& l) {
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
    if (mx == r)
        h6 = std::fmod((g - b) / d, 6.0f);
    else if (mx == g)
        h6 = (b - r) / d + 2.0f;
    else
        h6 = (r - g) / d + 4.0f;
    h = h6 / 6.0f;
    if (h < 0.0f) h = h + 1.0f;
}

void hsl_to_rgb(float h, float s, float l, float& r, float& g, float& b) {
    const float c = (1.0f - std::fabs(2.0f * l - 1.0f)) * s;
    const float x = c * (1.0f - std::fabs(std::fmod(6.0f * h, 2.0f) - 1.0f));
    const float m = l - c * 0.5f;
    // trunc(6h) reduced modulo 6 with the dividend's sign (exact in float); a
    // NaN or infinite hue falls into the last sector instead of an undefined
    // conversion.
    const float t = std::trunc(6.0f * h);
    int sector = 5;
    if (std::isfinite(t)) sector = static_cast<int>(std::fmod(t, 6.0f));
    float rp, gp, bp;
    switch (sector) {
        case 0: rp = c; gp = x; bp = 0.0f; break;
        case 1: rp = x; gp = c; bp = 0.0f; break;
        case 2: rp = 0.0f; gp = c; bp = x; break;
        case 3: rp = 0.0f; gp = x; bp = c; break;
        case 4: rp = x; gp = 0.0f; bp = c; break;
        default: rp = c; gp = 0.0f; bp = x; break;
    }
    // NaN (from a NaN or infinite input) comes out as 0, never as NaN.
    r = clamp01(m + rp);
    g = clamp01(m + gp);
    b = clamp01(m + bp);
}

}  // namespace vantorix
