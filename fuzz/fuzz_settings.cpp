// Every setter fed with floats from the input (the tone curve with all of
// them as points), then a development of a small picture.
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "fuzz_common.h"

FUZZ_ENTRY {
    std::vector<float> v((size + 3) / 4 + 8, 0.0f);
    if (size) std::memcpy(v.data(), data, size);
    static const std::vector<uchar> png = [] {
        cv::Mat m(12, 16, CV_8UC3);
        cv::randu(m, 0, 255);
        std::vector<uchar> b;
        cv::imencode(".png", m, b);
        return b;
    }();
    EngineContext* ctx = vantorix_create_context();
    vantorix_load_arw(ctx, fuzz_file(png.data(), png.size(), ".png").c_str(), 1);
    void (*const setters[])(EngineContext*, float) = {
        vantorix_set_exposure, vantorix_set_brightness, vantorix_set_contrast, vantorix_set_highlights,
        vantorix_set_shadows, vantorix_set_whites, vantorix_set_blacks, vantorix_set_temperature, vantorix_set_tint,
        vantorix_set_saturation, vantorix_set_vibrance, vantorix_set_sharpening_amount, vantorix_set_sharpening_radius,
        vantorix_set_sharpening_threshold, vantorix_set_nr_luminance, vantorix_set_nr_color, vantorix_set_clarity,
        vantorix_set_texture, vantorix_set_dehaze, vantorix_set_distortion, vantorix_set_ca_correction,
        vantorix_set_lens_vignette, vantorix_set_defringe, vantorix_set_rotation, vantorix_set_perspective_h,
        vantorix_set_perspective_v, vantorix_set_vignette_amount, vantorix_set_vignette_midpoint,
        vantorix_set_vignette_roundness, vantorix_set_grain_amount, vantorix_set_grain_size, vantorix_set_bg_blur};
    size_t i = 0;
    for (auto set : setters) set(ctx, v[i++ % v.size()]);
    vantorix_set_flip_h(ctx, data && size ? data[0] & 1 : 0);
    vantorix_set_flip_v(ctx, data && size ? data[0] & 2 : 0);
    vantorix_set_crop(ctx, v[0], v[1], v[2], v[3]);
    vantorix_set_hsl(ctx, static_cast<int>(size % 9), v[4], v[5], v[6]);
    vantorix_set_split_toning(ctx, static_cast<int>(size % 2), v[5], v[6], v[7]);
    vantorix_set_tone_curve(ctx, static_cast<int>(size % 5), v.data(), static_cast<int>(v.size() / 2));
    vantorix_process(ctx);
    vantorix_destroy_context(ctx);
    return 0;
}
