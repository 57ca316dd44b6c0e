#pragma once

namespace vantorix {

// HSL conversions with hue as a fraction of a full turn (0 = red).
void rgb_to_hsl(float r, float g, float b, float& h, float& s, float& l);
// Writes each output clamped to 0..1.
void hsl_to_rgb(float h, float s, float l, float& r, float& g, float& b);

}  // namespace vantorix
