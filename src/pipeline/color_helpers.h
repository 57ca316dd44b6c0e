#pragma once

namespace vantorix {

// HSL conversions with hue as a fraction of a full turn (0 = red, 1/6 per
// colour sector); saturation and lightness 0..1 for inputs in 0..1.
void rgb_to_hsl(float r, float g, float b, float& h, float& s, float& l);
// Writes each output clamped to 0..1 (a NaN result becomes 0). The hue need not
// be wrapped: any finite value selects its sector by trunc(6h) modulo 6.
void hsl_to_rgb(float h, float s, float l, float& r, float& g, float& b);

}  // namespace vantorix
