#include <algorithm>
#include <cmath>

#include "engine/context.h"
#include "engine/guard.h"

#define VANTORIX_SCALAR_SETTER(name, type, field)                  \
    VANTORIX_API void vantorix_set_##name(EngineContext* ctx, type v) { \
        if (ctx) ctx->adjustments.field = v;                        \
    }

extern "C" {

VANTORIX_SCALAR_SETTER(exposure, float, exposure)
VANTORIX_SCALAR_SETTER(brightness, float, brightness)
VANTORIX_SCALAR_SETTER(contrast, float, contrast)
VANTORIX_SCALAR_SETTER(highlights, float, highlights)
VANTORIX_SCALAR_SETTER(shadows, float, shadows)
VANTORIX_SCALAR_SETTER(whites, float, whites)
VANTORIX_SCALAR_SETTER(blacks, float, blacks)
VANTORIX_SCALAR_SETTER(temperature, float, temperature)
VANTORIX_SCALAR_SETTER(tint, float, tint)
VANTORIX_SCALAR_SETTER(saturation, float, saturation)
VANTORIX_SCALAR_SETTER(vibrance, float, vibrance)
VANTORIX_SCALAR_SETTER(sharpening_amount, float, sharpen_amount)
VANTORIX_SCALAR_SETTER(sharpening_radius, float, sharpen_radius)
VANTORIX_SCALAR_SETTER(sharpening_threshold, float, sharpen_threshold)
VANTORIX_SCALAR_SETTER(nr_luminance, float, nr_luminance)
VANTORIX_SCALAR_SETTER(nr_color, float, nr_color)
VANTORIX_SCALAR_SETTER(clarity, float, clarity)
VANTORIX_SCALAR_SETTER(texture, float, texture)
VANTORIX_SCALAR_SETTER(dehaze, float, dehaze)
VANTORIX_SCALAR_SETTER(distortion, float, distortion)
VANTORIX_SCALAR_SETTER(ca_correction, float, ca_correction)
VANTORIX_SCALAR_SETTER(lens_vignette, float, lens_vignette)
VANTORIX_SCALAR_SETTER(defringe, float, defringe)
VANTORIX_SCALAR_SETTER(rotation, float, rotation)
VANTORIX_SCALAR_SETTER(perspective_h, float, perspective_h)
VANTORIX_SCALAR_SETTER(perspective_v, float, perspective_v)
VANTORIX_SCALAR_SETTER(flip_h, int, flip_h)
VANTORIX_SCALAR_SETTER(flip_v, int, flip_v)
VANTORIX_SCALAR_SETTER(vignette_amount, float, vignette_amount)
VANTORIX_SCALAR_SETTER(vignette_midpoint, float, vignette_midpoint)
VANTORIX_SCALAR_SETTER(vignette_roundness, float, vignette_roundness)
VANTORIX_SCALAR_SETTER(grain_amount, float, grain_amount)
VANTORIX_SCALAR_SETTER(grain_size, float, grain_size)

VANTORIX_API void vantorix_set_crop(EngineContext* ctx, float x, float y, float w, float h) {
    if (ctx) ctx->adjustments.crop = {x, y, w, h};
}

VANTORIX_API void vantorix_set_hsl(EngineContext* ctx, int band, float hue, float saturation, float luminance) {
    if (!ctx || band < 0 || band > 7) return;
    ctx->adjustments.hsl[band] = {hue, saturation, luminance};
}

VANTORIX_API void vantorix_set_split_toning(EngineContext* ctx, int which, float hue, float saturation,
                                            float balance) {
    if (!ctx) return;
    auto& a = ctx->adjustments;
    if (which == 0) {
        a.split_highlight_hue = hue;
        a.split_highlight_saturation = saturation;
        a.split_balance = balance;
    } else {
        a.split_shadow_hue = hue;
        a.split_shadow_saturation = saturation;
    }
}

VANTORIX_API void vantorix_set_tone_curve(EngineContext* ctx, int channel, const float* points, int count) {
    // Past the documented maximum the call is ignored: a host's bad count
    // must not cost seconds and gigabytes.
    if (!ctx || !points || count < 2 || count > VANTORIX_MAX_TONE_CURVE_POINTS || channel < 0 || channel > 3) return;
    vantorix::guarded_void([&] {
        vantorix::ToneCurve curve;
        curve.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) curve.push_back({points[2 * i], points[2 * i + 1]});
        ctx->adjustments.tone_curves[channel] = std::move(curve);
    });
}

VANTORIX_API void vantorix_reset_tone_curve(EngineContext* ctx, int channel) {
    if (!ctx || channel < 0 || channel > 3) return;
    vantorix::guarded_void([&] { ctx->adjustments.tone_curves[channel] = vantorix::Adjustments::default_curve(); });
}

VANTORIX_API void vantorix_reset_adjustments(EngineContext* ctx) {
    if (!ctx) return;
    vantorix::guarded_void([&] { ctx->adjustments = vantorix::Adjustments(); });
    ctx->processed_valid = false;
}

VANTORIX_API void vantorix_set_bg_blur(EngineContext* ctx, float amount) {
    if (!ctx) return;
    if (std::isnan(amount)) {
        ctx->bg_blur = 100.0f;
        return;
    }
    ctx->bg_blur = std::max(std::min(amount, 100.0f), 0.0f);
}

}  // extern "C"
