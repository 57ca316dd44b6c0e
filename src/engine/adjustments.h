#pragma once
#include <array>
#include <string>
#include <vector>

namespace vantorix {

struct CurvePoint {
    float x;
    float y;
};

// Control points in the order the host gave them.
using ToneCurve = std::vector<CurvePoint>;

struct HslBand {
    float hue = 0.0f;
    float saturation = 0.0f;
    float luminance = 0.0f;
};

struct CropRect {
    float x = 0.0f;
    float y = 0.0f;
    float w = 0.0f;
    float h = 0.0f;
};

// Development settings, each read by one pipeline stage.
struct Adjustments {
    float exposure = 0.0f;
    float brightness = 0.0f;
    float contrast = 0.0f;
    float highlights = 0.0f;
    float shadows = 0.0f;
    float whites = 0.0f;
    float blacks = 0.0f;
    float temperature = 5500.0f;
    float tint = 0.0f;
    float saturation = 0.0f;
    float vibrance = 0.0f;
    float sharpen_amount = 0.0f;
    float sharpen_radius = 1.0f;
    float sharpen_threshold = 0.0f;
    float nr_luminance = 0.0f;
    float nr_color = 0.0f;
    float clarity = 0.0f;
    float texture = 0.0f;
    float dehaze = 0.0f;
    std::array<ToneCurve, 4> tone_curves = {default_curve(), default_curve(), default_curve(), default_curve()};
    std::array<HslBand, 8> hsl{};
    float split_highlight_hue = 0.0f;
    float split_highlight_saturation = 0.0f;
    float split_shadow_hue = 0.0f;
    float split_shadow_saturation = 0.0f;
    float split_balance = 0.0f;
    float distortion = 0.0f;
    float ca_correction = 0.0f;
    float lens_vignette = 0.0f;
    float defringe = 0.0f;
    CropRect crop{};
    float rotation = 0.0f;
    float perspective_h = 0.0f;
    float perspective_v = 0.0f;
    int flip_h = 0;
    int flip_v = 0;
    float vignette_amount = 0.0f;
    float vignette_midpoint = 50.0f;
    float vignette_roundness = 0.0f;
    float grain_amount = 0.0f;
    float grain_size = 25.0f;

    static ToneCurve default_curve() { return ToneCurve{{0.0f, 0.0f}, {1.0f, 1.0f}}; }
};

// The settings document (as vantorix_get_settings_json writes it): every
// setting, each value with round-trip precision, so two sets of settings have
// the same text exactly when every value has the same bits (NaN aside, which
// every stage treats alike whatever its payload).
std::string settings_fingerprint(const Adjustments& a);
// The document with the background blur (written with the settings).
std::string write_document(const Adjustments& a, float bg_blur);

}  // namespace vantorix
