// White balance: channel gains from a colour temperature and a tint.
#include <math.h>

#include <algorithm>

#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"

namespace vantorix {

namespace {
constexpr float kNeutralKelvin = 6500.0f;
// The black-body formula is fitted down to 1000 K; lower (and non-positive)
// temperatures use 1000 K rather than leaving the logarithm's domain.
constexpr float kMinKelvin = 1000.0f;
}  // namespace

void kelvin_to_rgb(float kelvin, float& r, float& g, float& b) {
    const float x = kelvin / 100.0f;
    float rr, gg, bb;
    if (x <= 66.0f) {
        rr = 255.0f;
        gg = 99.4708023f * logf(x) - 161.119568f;
        bb = x <= 19.0f ? 0.0f : 138.517731f * logf(x - 10.0f) - 305.0448f;
    } else {
        rr = 329.69873f * powf(x - 60.0f, -0.133204758f);
        gg = 288.122162f * powf(x - 60.0f, -0.0755148456f);
        bb = 255.0f;
    }
    r = tonemath::clamp01(rr / 255.0f);
    g = tonemath::clamp01(gg / 255.0f);
    b = tonemath::clamp01(bb / 255.0f);
}

void apply_white_balance(cv::Mat& img, const Adjustments& adj) {
    const float temperature = std::isnan(adj.temperature) ? kNeutralKelvin : adj.temperature;
    const float tint = tonemath::or_zero(adj.tint);
    if (std::fabs(temperature - kNeutralKelvin) < 1.0f && std::fabs(tint) < 0.1f) return;

    float rt, gt, bt, rn, gn, bn;
    kelvin_to_rgb(std::max(temperature, kMinKelvin), rt, gt, bt);
    kelvin_to_rgb(kNeutralKelvin, rn, gn, bn);
    const float gain_r = rt / rn;
    const float gain_g = gt / gn + tint / 150.0f * 0.15f;
    const float gain_b = bt / bn;

    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            p[0] = tonemath::clamp01(p[0] * gain_r);
            p[1] = tonemath::clamp01(p[1] * gain_g);
            p[2] = tonemath::clamp01(p[2] * gain_b);
        }
    }
}

}  // namespace vantorix
