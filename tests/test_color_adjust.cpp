// Saturation/vibrance, HSL bands and split toning.
#include <gtest/gtest.h>

#include <limits>

#include "pipeline/color_helpers.h"
#include "pipeline/stages.h"
#include "test_tone_reference.h"

using namespace toneref;
using vantorix::Adjustments;

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

Adjustments satvib(float s, float v) {
    Adjustments a;
    a.saturation = s;
    a.vibrance = v;
    return a;
}
Adjustments split(float hh, float hs, float sh, float ss, float bal) {
    Adjustments a;
    a.split_highlight_hue = hh;
    a.split_highlight_saturation = hs;
    a.split_shadow_hue = sh;
    a.split_shadow_saturation = ss;
    a.split_balance = bal;
    return a;
}
Adjustments bands_of(const std::array<Band, 8>& b) {
    Adjustments a;
    for (int i = 0; i < 8; ++i) a.hsl[i] = {b[i].hue, b[i].sat, b[i].lum};
    return a;
}
std::array<Band, 8> one_band(int i, float hue, float sat, float lum) {
    std::array<Band, 8> b{};
    b[i] = {hue, sat, lum};
    return b;
}
Px run(void (*stage)(cv::Mat&, const Adjustments&), const Adjustments& a, Px p) {
    cv::Mat m = image_of({p});
    stage(m, a);
    return px_at(m, 0);
}
float hue_of(const Px& p) {
    float h, s, l;
    vantorix::rgb_to_hsl(p[0], p[1], p[2], h, s, l);
    return h;
}
float lightness_of(const Px& p) {
    float h, s, l;
    vantorix::rgb_to_hsl(p[0], p[1], p[2], h, s, l);
    return l;
}

void expect_near(const Px& got, const Px& want, float tol) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], want[c], tol) << "channel " << c;
}

}  // namespace

TEST(ColorAdjust, NeutralSettingsLeaveTheImageBitForBit) {
    const cv::Mat src = random_image(19, 7, 3, -0.2f, 1.2f);
    cv::Mat m = src.clone();
    vantorix::apply_saturation_vibrance(m, Adjustments());
    vantorix::apply_hsl(m, Adjustments());
    vantorix::apply_split_toning(m, Adjustments());
    EXPECT_TRUE(same_bits(m, src));
    // Split toning with both strengths 0 is skipped whatever hue and balance.
    vantorix::apply_split_toning(m, split(120.0f, 0.0f, 300.0f, 0.0f, 80.0f));
    EXPECT_TRUE(same_bits(m, src));
    // NaN settings count as neutral.
    Adjustments nan_all = satvib(kNaN, kNaN);
    for (auto& b : nan_all.hsl) b = {kNaN, kNaN, kNaN};
    nan_all.split_highlight_saturation = kNaN;
    nan_all.split_shadow_saturation = kNaN;
    vantorix::apply_saturation_vibrance(m, nan_all);
    vantorix::apply_hsl(m, nan_all);
    vantorix::apply_split_toning(m, nan_all);
    EXPECT_TRUE(same_bits(m, src));
}

TEST(ColorAdjust, SaturationMinus100GivesGreyAtLuminance) {
    const cv::Mat src = random_image(15, 4, 8);
    cv::Mat m = src.clone();
    vantorix::apply_saturation_vibrance(m, satvib(-100.0f, 0.0f));
    for (int i = 0; i < static_cast<int>(m.total()); ++i) {
        const Px in = px_at(src, i), out = px_at(m, i);
        const float L = lum709(in[0], in[1], in[2]);
        for (int c = 0; c < 3; ++c) ASSERT_EQ(out[c], L);
        ASSERT_EQ(out[3], in[3]);
    }
}

TEST(ColorAdjust, VibranceWorkedExamples) {
    // Grey has no colour to amplify.
    const Px grey{0.4f, 0.4f, 0.4f, 1.0f};
    const Px g = run(vantorix::apply_saturation_vibrance, satvib(0.0f, 100.0f), grey);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(g[c], 0.4f, 1e-6f);
    // (0.6, 0.5, 0.5): c = 0.3, f = 1.56, L2 = 0.52126.
    expect_near(run(vantorix::apply_saturation_vibrance, satvib(0.0f, 100.0f), {0.6f, 0.5f, 0.5f, 1.0f}),
                {0.6441f, 0.4881f, 0.4881f, 1.0f}, 1e-4f);
    // A spread of a third or more is not touched.
    const Px strong{0.8f, 0.4f, 0.3f, 1.0f};
    const Px s = run(vantorix::apply_saturation_vibrance, satvib(0.0f, 100.0f), strong);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(s[c], strong[c], 1e-6f);
}

TEST(ColorAdjust, SaturationVibranceMatchTheFormulaPerPixel) {
    const cv::Mat src = random_image(27, 9, 14);
    const float cases[][2] = {{50, 0}, {-40, 0}, {0, 60}, {0, -80}, {30, 45}, {-100, 100}, {250, -30}};
    for (const auto& c : cases) {
        cv::Mat m = src.clone();
        vantorix::apply_saturation_vibrance(m, satvib(c[0], c[1]));
        for (int i = 0; i < static_cast<int>(m.total()); ++i)
            ASSERT_EQ(px_at(m, i), saturation_vibrance(px_at(src, i), c[0], c[1])) << c[0] << "/" << c[1] << " px " << i;
    }
}

TEST(ColorAdjust, HslRedToOrange) {
    // Band 0 hue +30 on pure red: w0 = 1, band 1 adds nothing (its hue is 0).
    const Px p = run(vantorix::apply_hsl, bands_of(one_band(0, 30.0f, 0.0f, 0.0f)), {1.0f, 0.0f, 0.0f, 0.7f});
    expect_near(p, {1.0f, 0.5f, 0.0f, 0.7f}, 1e-5f);
    // Band 1 at hue 0 has weight 1 - (1/12)/0.09 = 0.0741: its +90 shift adds
    // 0.0741 * 90 degrees to a pure red.
    const Px q = run(vantorix::apply_hsl, bands_of(one_band(1, 90.0f, 0.0f, 0.0f)), {1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(hue_of(q) * 360.0f, (1.0f - (1.0f / 12.0f) / 0.09f) * 90.0f, 1e-3f);
}

TEST(ColorAdjust, HslWeightsBetweenBandsAndThroughTheWrap) {
    // Hue 0.25 (0.5, 1, 0) sits between yellow and green: 0.0741 of each.
    const Px yg{0.5f, 1.0f, 0.0f, 1.0f};
    const float w = 1.0f - (0.25f - 1.0f / 6.0f) / 0.09f;
    EXPECT_NEAR(w, 0.0741f, 1e-4f);
    EXPECT_NEAR(lightness_of(run(vantorix::apply_hsl, bands_of(one_band(2, 0, 0, 100)), yg)), 0.5f + w * 0.5f, 1e-5f);
    EXPECT_NEAR(lightness_of(run(vantorix::apply_hsl, bands_of(one_band(3, 0, 0, 100)), yg)), 0.5f + w * 0.5f, 1e-5f);
    // Both bands: the shifts add up (no normalisation).
    std::array<Band, 8> both{};
    both[2] = {0, 0, 100};
    both[3] = {0, 0, 100};
    EXPECT_NEAR(lightness_of(run(vantorix::apply_hsl, bands_of(both), yg)), 0.5f + 2 * w * 0.5f, 1e-5f);
    // Hue 0.98 (1, 0, 0.12): d to red = 0.02 through the wrap, w0 = 0.778.
    const Px wrap{1.0f, 0.0f, 0.12f, 1.0f};
    EXPECT_NEAR(lightness_of(run(vantorix::apply_hsl, bands_of(one_band(0, 0, 0, 100)), wrap)),
                0.5f + (1.0f - 0.02f / 0.09f) * 0.5f, 1e-5f);
    // Magenta's band (centre 5/6) is 0.147 away: no shift (the pixel still goes
    // through the conversions because band 0 weighs it).
    EXPECT_NEAR(lightness_of(run(vantorix::apply_hsl, bands_of(one_band(7, 0, 0, 100)), wrap)), 0.5f, 1e-6f);
    // Grey pixels are never shifted.
    const Px grey{0.3f, 0.3f, 0.3f, 1.0f};
    EXPECT_EQ(run(vantorix::apply_hsl, bands_of(one_band(0, 90, 100, 100)), grey), grey);
}

TEST(ColorAdjust, HslMatchesTheFormulaPerPixel) {
    const cv::Mat src = random_image(31, 13, 21);
    std::array<Band, 8> b1{};
    b1[0] = {30, 20, -10};
    b1[1] = {-15, 50, 0};
    b1[5] = {60, -100, 40};
    b1[6] = {0, 0, 80};
    b1[7] = {-200, 30, -60};
    std::array<Band, 8> b2{};
    for (int i = 0; i < 8; ++i) b2[i] = {i * 40.0f - 150.0f, 100.0f - i * 25.0f, i * 20.0f - 70.0f};
    for (const auto& bands : {b1, b2, one_band(4, 720.0f, 0, 0)}) {
        cv::Mat m = src.clone();
        vantorix::apply_hsl(m, bands_of(bands));
        for (int i = 0; i < static_cast<int>(m.total()); ++i)
            ASSERT_EQ(px_at(m, i), hsl_bands(px_at(src, i), bands)) << "px " << i;
    }
}

TEST(ColorAdjust, SplitToningWorkedExamples) {
    const Adjustments a = split(0.0f, 0.0f, 240.0f, 100.0f, 0.0f);
    // Black stays black (l = 0).
    EXPECT_EQ(run(vantorix::apply_split_toning, a, {0.0f, 0.0f, 0.0f, 1.0f}), (Px{0.0f, 0.0f, 0.0f, 1.0f}));
    // Grey 0.2: h' = 0.2133, s' = 0.24 -> a yellow-green tint.
    const Px p = run(vantorix::apply_split_toning, a, {0.2f, 0.2f, 0.2f, 0.9f});
    expect_near(p, {0.2211f, 0.2480f, 0.1520f, 0.9f}, 1e-4f);
    EXPECT_NEAR(hue_of(p), 0.2133f, 1e-4f);
}

TEST(ColorAdjust, SplitToningMatchesTheFormulaPerPixel) {
    const cv::Mat src = random_image(23, 11, 31);
    const float cases[][5] = {{30, 50, 240, 100, 0}, {200, 80, 0, 0, 40}, {0, 0, 120, 60, -100}, {330, 100, 45, 25, 250}};
    for (const auto& c : cases) {
        cv::Mat m = src.clone();
        vantorix::apply_split_toning(m, split(c[0], c[1], c[2], c[3], c[4]));
        for (int i = 0; i < static_cast<int>(m.total()); ++i)
            ASSERT_EQ(px_at(m, i), split_toning(px_at(src, i), c[0], c[1], c[2], c[3], c[4])) << "px " << i;
    }
}

TEST(ColorAdjust, ExtremeSettingsStayInRange) {
    const cv::Mat src = random_image(13, 5, 41);
    std::vector<Adjustments> cases = {satvib(kInf, 0), satvib(-kInf, kInf), satvib(0, -kInf), satvib(3e38f, 3e38f),
                                      split(kInf, 100, -kInf, 100, 0), split(0, kInf, 0, -kInf, kInf),
                                      split(1e30f, 50, 0, 50, -1e30f)};
    for (float v : {kInf, -kInf, 3e38f, -3e38f}) {
        cases.push_back(bands_of(one_band(0, v, 0, 0)));
        cases.push_back(bands_of(one_band(3, 0, v, v)));
    }
    for (size_t k = 0; k < cases.size(); ++k) {
        cv::Mat m = src.clone();
        vantorix::apply_saturation_vibrance(m, cases[k]);
        vantorix::apply_hsl(m, cases[k]);
        vantorix::apply_split_toning(m, cases[k]);
        EXPECT_TRUE(all_in_unit_range(m)) << "case " << k;
    }
}
