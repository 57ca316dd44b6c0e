#pragma once
// Small helpers shared by the tone and colour stages (white balance, exposure,
// tone regions, tone curves, colour adjustments) and their internal entry
// points reachable from the white-box tests.
#include <cmath>
#include <vector>

#include "engine/adjustments.h"

namespace vantorix {
namespace tonemath {

// Limits v to 0..1: a value below 0 becomes 0, the rest is limited to at most 1.
// NaN becomes 0 (so a result derived from it can always index a table), and so
// does -0. Two compares, branch-free.
inline float clamp01(float v) {
    const float r = v > 0.0f ? v : 0.0f;
    return r < 1.0f ? r : 1.0f;
}

// fmod(x, y) for y = 1 or 2, the same value bit for bit (x / y is exact for
// these divisors, and so is the difference), without a library call.
inline float fmod_small(float x, float y) {
    float r = x - std::trunc(x / y) * y;
    if (r == 0.0f) r = std::copysign(0.0f, x);
    return r;
}

// Rec. 709 luminance, single precision, summed red, green, blue.
inline float luminance(float r, float g, float b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

// A NaN setting counts as neutral (0).
inline float or_zero(float v) { return std::isnan(v) ? 0.0f : v; }

}  // namespace tonemath

// Colour triple (each 0..1) of a black body at `kelvin`; used by white balance.
void kelvin_to_rgb(float kelvin, float& r, float& g, float& b);

// Entries in a tone-curve table: entry i is the curve at i / 65535.
constexpr int kCurveLutSize = 65536;

// Whether a curve changes anything: more than two points, or two points other
// than exactly (0, 0), (1, 1). Points are judged in ascending x order.
bool curve_is_active(const ToneCurve& curve);

// Fills `table` with kCurveLutSize entries (each 0..1) sampled from the
// Catmull-Rom spline through the curve's points (taken in ascending x order,
// ties in stored order); an inactive curve gives the identity i / 65535.
void build_curve_lut(const ToneCurve& curve, std::vector<float>& table);

// Table index of a value: trunc(clamp01(v) * 65535 + 0.5).
inline int curve_lut_index(float v) { return static_cast<int>(tonemath::clamp01(v) * 65535.0f + 0.5f); }

}  // namespace vantorix
