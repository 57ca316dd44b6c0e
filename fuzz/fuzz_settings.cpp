// Every setter fed with floats from the input (the tone curve with all of them as points), then a
// development of a small picture made of the input's bytes.
#include <vector>

#include "fuzz_common.h"

#define S(name) vantorix_set_##name
#define M(call) [](EngineContext* c, float f) { vantorix_set_##call; }

FUZZ_ENTRY {
    std::vector<float> v(size / 4 + 160, 0.25f);  // at least the 16 x 12 RGB picture's 576 bytes
    if (size) std::char_traits<char>::copy(reinterpret_cast<char*>(&v[0]), reinterpret_cast<const char*>(data), size);
    EngineContext* ctx = vantorix_create_context();
    vantorix_load_pixels(ctx, v.data(), 16, 12, 3, 8, 0);
    void (*const setters[])(EngineContext*, float) = {S(exposure), S(brightness), S(contrast), S(highlights),
        S(shadows), S(whites), S(blacks), S(temperature), S(tint), S(saturation), S(vibrance), S(sharpening_amount),
        S(sharpening_radius), S(sharpening_threshold), S(nr_luminance), S(nr_color), S(clarity), S(texture),
        S(dehaze), S(distortion), S(ca_correction), S(lens_vignette), S(defringe), S(rotation), S(perspective_h),
        S(perspective_v), S(vignette_amount), S(vignette_midpoint), S(vignette_roundness), S(grain_amount),
        S(grain_size), S(bg_blur), M(flip_h(c, f > 0)), M(flip_v(c, f < 0)), M(crop(c, f, f / 2, -f, 1 - f)),
        M(hsl(c, f > 0 ? 2 : 7, f, -f, 2 * f)), M(split_toning(c, f > 0, f, f * f, -f))};
    for (size_t i = 0; i < std::size(setters); ++i) setters[i](ctx, v[i % v.size()]);
    vantorix_set_tone_curve(ctx, static_cast<int>(size % 5), v.data(), static_cast<int>(v.size() / 2));
    vantorix_process(ctx);
    vantorix_destroy_context(ctx);
    return 0;
}
