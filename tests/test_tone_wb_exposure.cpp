// White balance and exposure stages.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"
#include "test_tone_reference.h"

using namespace toneref;
using vantorix::Adjustments;

namespace {

Adjustments wb(float temperature, float tint) {
    Adjustments a;
    a.temperature = temperature;
    a.tint = tint;
    return a;
}

// Gains the stage applies, read off a pixel of 0.5 (no clipping below gain 2).
std::array<float, 3> measured_gains(float temperature, float tint) {
    cv::Mat m = image_of({{0.5f, 0.5f, 0.5f, 1.0f}});
    vantorix::apply_white_balance(m, wb(temperature, tint));
    const Px p = px_at(m, 0);
    return {p[0] / 0.5f, p[1] / 0.5f, p[2] / 0.5f};
}

}  // namespace

TEST(ToneWhiteBalance, KelvinTriplesAtKnownTemperatures) {
    float r, g, b;
    vantorix::kelvin_to_rgb(5500.0f, r, g, b);
    EXPECT_FLOAT_EQ(r, 1.0f);
    EXPECT_NEAR(g, 0.931346f, 2e-6f);
    EXPECT_NEAR(b, 0.871551f, 2e-6f);
    vantorix::kelvin_to_rgb(6500.0f, r, g, b);
    EXPECT_NEAR(g, 0.996510f, 2e-6f);
    EXPECT_NEAR(b, 0.980557f, 2e-6f);
    // 6600 K (x = 66) takes the first branch; its green passes 255 and clamps.
    vantorix::kelvin_to_rgb(6600.0f, r, g, b);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(g, 1.0f);
    // 1900 K (x = 19) is the last temperature without blue.
    vantorix::kelvin_to_rgb(1900.0f, r, g, b);
    EXPECT_EQ(b, 0.0f);
    vantorix::kelvin_to_rgb(1910.0f, r, g, b);
    EXPECT_GT(b, 0.0f);
    // Above 6600 K blue is 1 and red falls.
    vantorix::kelvin_to_rgb(10000.0f, r, g, b);
    EXPECT_EQ(b, 1.0f);
    EXPECT_LT(r, 1.0f);
    // Exactly the single-precision formula, over a sweep of temperatures.
    for (float k = 1000.0f; k <= 40000.0f; k += 37.0f) {
        vantorix::kelvin_to_rgb(k, r, g, b);
        const auto ref = kelvin(k);
        ASSERT_EQ(r, ref[0]) << k;
        ASSERT_EQ(g, ref[1]) << k;
        ASSERT_EQ(b, ref[2]) << k;
    }
}

TEST(ToneWhiteBalance, GainsMatchTheWorkedExamples) {
    auto g = measured_gains(5500.0f, 0.0f);
    EXPECT_NEAR(g[0], 1.0000f, 1e-4f);
    EXPECT_NEAR(g[1], 0.9346f, 1e-4f);
    EXPECT_NEAR(g[2], 0.8888f, 1e-4f);
    g = measured_gains(6600.0f, 0.0f);
    EXPECT_NEAR(g[0], 1.0000f, 1e-4f);
    EXPECT_NEAR(g[1], 1.0035f, 1e-4f);
    EXPECT_NEAR(g[2], 1.0100f, 1e-4f);
    g = measured_gains(7000.0f, 0.0f);
    EXPECT_NEAR(g[0], 0.9514f, 1e-4f);
    EXPECT_NEAR(g[2], 1.0198f, 1e-4f);
    g = measured_gains(10000.0f, 0.0f);
    EXPECT_NEAR(g[0], 0.7910f, 1e-4f);
    EXPECT_NEAR(g[2], 1.0198f, 1e-4f);
    // 6499 K differs from neutral by exactly 1: the stage runs, gains near 1.
    g = measured_gains(6499.0f, 0.0f);
    for (float v : g) EXPECT_NEAR(v, 1.0f, 2e-4f);
}

TEST(ToneWhiteBalance, MatchesTheFormulaPerPixelAndKeepsAlpha) {
    const cv::Mat src = random_image(23, 7, 11);
    const float cases[][2] = {{5500, 0}, {6600, 0}, {7000, 0}, {3200, 40}, {12000, -75}, {6500, 150}, {6499, 0}, {1500, 0}};
    for (const auto& c : cases) {
        cv::Mat m = src.clone();
        vantorix::apply_white_balance(m, wb(c[0], c[1]));
        for (int i = 0; i < static_cast<int>(m.total()); ++i) {
            const Px want = white_balance(px_at(src, i), c[0], c[1]);
            const Px got = px_at(m, i);
            for (int k = 0; k < 4; ++k) ASSERT_EQ(got[k], want[k]) << c[0] << " K, tint " << c[1] << ", px " << i;
        }
    }
}

TEST(ToneWhiteBalance, NeutralSettingsLeaveTheImageBitForBit) {
    const cv::Mat src = random_image(16, 4, 3, -0.2f, 1.3f);
    for (auto s : {std::array<float, 2>{6500.0f, 0.0f}, {6500.5f, 0.05f}, {6499.5f, -0.09f}}) {
        cv::Mat m = src.clone();
        vantorix::apply_white_balance(m, wb(s[0], s[1]));
        EXPECT_TRUE(same_bits(m, src)) << s[0] << " " << s[1];
    }
}

TEST(ToneWhiteBalance, DefaultTemperatureWarmsTheImage) {
    const cv::Mat src = random_image(8, 8, 5);
    cv::Mat m = src.clone();
    vantorix::apply_white_balance(m, Adjustments());  // 5500 K by default
    EXPECT_FALSE(same_bits(m, src));
    const Px p = px_at(image_of({{0.8f, 0.8f, 0.8f, 1.0f}}), 0);
    cv::Mat grey = image_of({p});
    vantorix::apply_white_balance(grey, Adjustments());
    const Px q = px_at(grey, 0);
    EXPECT_EQ(q[0], 0.8f);
    EXPECT_LT(q[1], q[0]);
    EXPECT_LT(q[2], q[1]);
}

TEST(ToneWhiteBalance, TintAndTheBlueCutOff) {
    cv::Mat m = image_of({{0.5f, 0.5f, 0.5f, 0.25f}, {0.9f, 0.9f, 0.9f, 1.0f}});
    vantorix::apply_white_balance(m, wb(6500.0f, 150.0f));
    // Red and blue are multiplied by exactly 1, green by 1.15 and clipped.
    EXPECT_EQ(px_at(m, 0)[0], 0.5f);
    EXPECT_EQ(px_at(m, 0)[2], 0.5f);
    EXPECT_NEAR(px_at(m, 0)[1], 0.575f, 1e-6f);
    EXPECT_EQ(px_at(m, 1)[1], 1.0f);
    EXPECT_EQ(px_at(m, 0)[3], 0.25f);

    cv::Mat cold = random_image(9, 3, 8);
    vantorix::apply_white_balance(cold, wb(1900.0f, 0.0f));
    for (int i = 0; i < static_cast<int>(cold.total()); ++i) ASSERT_EQ(px_at(cold, i)[2], 0.0f);
}

TEST(ToneWhiteBalance, NonPositiveAndNonFiniteTemperaturesAreSafe) {
    const cv::Mat src = random_image(12, 3, 21);
    cv::Mat at1000 = src.clone();
    vantorix::apply_white_balance(at1000, wb(1000.0f, 0.0f));
    ASSERT_TRUE(all_in_unit_range(at1000));
    // Below 1000 K (0 and negative included) the 1000 K gains are used.
    for (float t : {999.0f, 500.0f, 0.0f, -0.0f, -500.0f, -std::numeric_limits<float>::infinity(), -FLT_MAX}) {
        cv::Mat m = src.clone();
        vantorix::apply_white_balance(m, wb(t, 0.0f));
        EXPECT_TRUE(same_bits(m, at1000)) << t;
    }
    // +infinity: red and green gains 0, blue 1 / 0.980557; never NaN.
    cv::Mat hot = src.clone();
    vantorix::apply_white_balance(hot, wb(std::numeric_limits<float>::infinity(), 0.0f));
    EXPECT_TRUE(all_in_unit_range(hot));
    EXPECT_EQ(px_at(hot, 0)[0], 0.0f);
    // A NaN temperature counts as neutral; a NaN tint as 0.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    cv::Mat m = src.clone();
    vantorix::apply_white_balance(m, wb(nan, 0.0f));
    EXPECT_TRUE(same_bits(m, src));
    m = src.clone();
    vantorix::apply_white_balance(m, wb(5500.0f, nan));
    cv::Mat m5500 = src.clone();
    vantorix::apply_white_balance(m5500, wb(5500.0f, 0.0f));
    EXPECT_TRUE(same_bits(m, m5500));
    // Infinite tint: green goes to 0 or 1, never NaN.
    for (float tint : {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        m = src.clone();
        vantorix::apply_white_balance(m, wb(6500.0f, tint));
        EXPECT_TRUE(all_in_unit_range(m));
    }
}

// ---------------------------------------------------------------------------

namespace {

Adjustments ev(float e) {
    Adjustments a;
    a.exposure = e;
    return a;
}

// The whole-plane form: split, scaled conversion (gain as double), truncation
// at 1, merge.
cv::Mat exposure_by_planes(const cv::Mat& src, float e) {
    const float gain = powf(2.0f, e);
    std::vector<cv::Mat> planes;
    cv::split(src, planes);
    for (int c = 0; c < 3; ++c) {
        planes[c].convertTo(planes[c], -1, static_cast<double>(gain));
        cv::threshold(planes[c], planes[c], 1.0, 1.0, cv::THRESH_TRUNC);
    }
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

}  // namespace

TEST(ToneExposure, DoublesHalvesClipsAndKeepsAlpha) {
    const cv::Mat src = image_of({{0.2f, 0.4f, 0.6f, 0.3f}, {0.0f, 1.0f, 0.5f, 1.0f}});
    cv::Mat up = src.clone();
    vantorix::apply_exposure(up, ev(1.0f));
    EXPECT_EQ(px_at(up, 0), (Px{0.4f, 0.8f, 1.0f, 0.3f}));
    EXPECT_EQ(px_at(up, 1), (Px{0.0f, 1.0f, 1.0f, 1.0f}));
    cv::Mat down = src.clone();
    vantorix::apply_exposure(down, ev(-1.0f));
    EXPECT_EQ(px_at(down, 0), (Px{0.1f, 0.2f, 0.3f, 0.3f}));
    EXPECT_EQ(px_at(down, 1), (Px{0.0f, 0.5f, 0.25f, 1.0f}));
    // No lower clamp: a negative sample stays negative.
    cv::Mat neg = image_of({{-0.25f, 0.1f, 0.1f, 1.0f}});
    vantorix::apply_exposure(neg, ev(1.0f));
    EXPECT_EQ(px_at(neg, 0)[0], -0.5f);
}

TEST(ToneExposure, ZeroIsBitForBitAndNonIntegerStopsMatchTheFormula) {
    const cv::Mat src = random_image(31, 5, 2, -0.1f, 1.2f);
    cv::Mat m = src.clone();
    vantorix::apply_exposure(m, ev(0.0f));
    EXPECT_TRUE(same_bits(m, src));
    for (float e : {0.37f, -1.63f, 2.5f, -7.0f}) {
        m = src.clone();
        vantorix::apply_exposure(m, ev(e));
        for (int i = 0; i < static_cast<int>(m.total()); ++i) ASSERT_EQ(px_at(m, i), exposure(px_at(src, i), e)) << e;
    }
}

TEST(ToneExposure, OnePassEqualsTheWholePlaneForm) {
    // Odd width so that vectorised library paths also handle a tail.
    const cv::Mat src = random_image(37, 9, 4, -0.5f, 1.5f);
    for (float e : {1.0f, 0.37f, -2.2f, 3.9f}) {
        cv::Mat m = src.clone();
        vantorix::apply_exposure(m, ev(e));
        EXPECT_TRUE(same_bits(m, exposure_by_planes(src, e))) << e;
    }
}

TEST(ToneExposure, ExtremeAndNonFiniteSettingsAreSafe) {
    const cv::Mat src = image_of({{0.0f, 1e-30f, 0.5f, 0.7f}, {1.0f, 0.0f, 0.0f, 1.0f}});
    cv::Mat m = src.clone();
    vantorix::apply_exposure(m, ev(1000.0f));  // gain overflows
    EXPECT_EQ(px_at(m, 0), (Px{0.0f, 1.0f, 1.0f, 0.7f}));
    m = src.clone();
    vantorix::apply_exposure(m, ev(std::numeric_limits<float>::infinity()));
    EXPECT_EQ(px_at(m, 1), (Px{1.0f, 0.0f, 0.0f, 1.0f}));
    m = src.clone();
    vantorix::apply_exposure(m, ev(-std::numeric_limits<float>::infinity()));
    EXPECT_EQ(px_at(m, 0), (Px{0.0f, 0.0f, 0.0f, 0.7f}));
    m = src.clone();
    vantorix::apply_exposure(m, ev(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_TRUE(same_bits(m, src));
}
