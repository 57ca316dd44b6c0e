// HSL conversions.
#include <gtest/gtest.h>

#include <limits>

#include "pipeline/color_helpers.h"
#include "pipeline/tone_color_math.h"
#include "test_tone_reference.h"

using vantorix::hsl_to_rgb;
using vantorix::rgb_to_hsl;

namespace {

struct Hsl {
    float h, s, l;
};
Hsl hsl_of(float r, float g, float b) {
    Hsl o;
    rgb_to_hsl(r, g, b, o.h, o.s, o.l);
    return o;
}
std::array<float, 3> rgb_of(float h, float s, float l) {
    std::array<float, 3> o;
    hsl_to_rgb(h, s, l, o[0], o[1], o[2]);
    return o;
}

}  // namespace

TEST(ColorHelpers, PrimariesAndSecondaries) {
    struct Case {
        float r, g, b, h;
    } cases[] = {{1, 0, 0, 0.0f},       {1, 1, 0, 1.0f / 6}, {0, 1, 0, 1.0f / 3}, {0, 1, 1, 0.5f},
                 {0, 0, 1, 2.0f / 3},   {1, 0, 1, 5.0f / 6}, {1, 0.5f, 0, 1.0f / 12}};
    for (const Case& c : cases) {
        const Hsl o = hsl_of(c.r, c.g, c.b);
        EXPECT_NEAR(o.h, c.h, 1e-6f) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(o.s, 1.0f);
        EXPECT_EQ(o.l, 0.5f);
        const auto back = rgb_of(o.h, o.s, o.l);
        EXPECT_NEAR(back[0], c.r, 1e-6f);
        EXPECT_NEAR(back[1], c.g, 1e-6f);
        EXPECT_NEAR(back[2], c.b, 1e-6f);
    }
}

TEST(ColorHelpers, GreyHasNoHueOrSaturation) {
    for (float v : {0.0f, 0.2f, 0.5f, 1.0f}) {
        const Hsl o = hsl_of(v, v, v + 5e-7f);
        EXPECT_EQ(o.h, 0.0f);
        EXPECT_EQ(o.s, 0.0f);
        EXPECT_NEAR(o.l, v, 1e-6f);
    }
    // Zero saturation gives grey at the lightness whatever the hue.
    const auto g = rgb_of(0.37f, 0.0f, 0.3f);
    EXPECT_EQ(g, (std::array<float, 3>{0.3f, 0.3f, 0.3f}));
}

TEST(ColorHelpers, HueWrapsBelowRedAndTiesFavourRedThenGreen) {
    // mx = r with b > g: fmod of a negative quotient, then + 1.
    const Hsl o = hsl_of(1.0f, 0.0f, 0.12f);
    EXPECT_NEAR(o.h, 0.98f, 1e-6f);
    // Ties resolved red, green, blue: (1, 1, 0) is red's formula, (0, 1, 1) green's.
    EXPECT_NEAR(hsl_of(1, 1, 0).h, 1.0f / 6, 1e-7f);
    EXPECT_NEAR(hsl_of(0, 1, 1).h, 0.5f, 1e-7f);
    EXPECT_NEAR(hsl_of(1, 0, 1).h, 5.0f / 6, 1e-6f);
}

TEST(ColorHelpers, MatchTheFormulasExactly) {
    cv::RNG rng(5);
    for (int i = 0; i < 20000; ++i) {
        const float r = rng.uniform(0.0f, 1.0f), g = rng.uniform(0.0f, 1.0f), b = rng.uniform(0.0f, 1.0f);
        float h, s, l, hr, sr, lr;
        rgb_to_hsl(r, g, b, h, s, l);
        toneref::to_hsl(r, g, b, hr, sr, lr);
        ASSERT_EQ(h, hr);
        ASSERT_EQ(s, sr);
        ASSERT_EQ(l, lr);
        const auto back = rgb_of(h, s, l);
        ASSERT_NEAR(back[0], r, 2e-5f);
        ASSERT_NEAR(back[1], g, 2e-5f);
        ASSERT_NEAR(back[2], b, 2e-5f);
    }
    // hsl_to_rgb over hues beyond 0..1 (negative ones included), as split
    // toning produces them unwrapped.
    for (int i = 0; i < 20000; ++i) {
        const float h = rng.uniform(-2.5f, 2.5f), s = rng.uniform(0.0f, 1.2f), l = rng.uniform(-0.1f, 1.1f);
        float r, g, b, rr, gr, br;
        hsl_to_rgb(h, s, l, r, g, b);
        toneref::from_hsl(h, s, l, rr, gr, br);
        ASSERT_EQ(r, rr) << h << " " << s << " " << l;
        ASSERT_EQ(g, gr);
        ASSERT_EQ(b, br);
    }
}

TEST(ColorHelpers, SectorsOfUnwrappedHues) {
    // 1.2 is sector 7 mod 6 = 1, like 0.2 but for the fmod(6h, 2) term.
    const auto a = rgb_of(1.2f, 1.0f, 0.5f), b = rgb_of(0.2f, 1.0f, 0.5f);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-6f);
    // -0.02: trunc(-0.12) = 0 -> sector 0 (C, X, 0) with X = 0.5 * -0.12.
    auto p = rgb_of(-0.02f, 0.5f, 0.5f);
    EXPECT_NEAR(p[0], 0.75f, 1e-6f);
    EXPECT_NEAR(p[1], 0.19f, 1e-6f);
    EXPECT_NEAR(p[2], 0.25f, 1e-6f);
    // -0.18: trunc(-1.08) = -1, a negative remainder -> the (C, 0, X) sector.
    p = rgb_of(-0.18f, 0.5f, 0.5f);
    EXPECT_NEAR(p[0], 0.75f, 1e-6f);
    EXPECT_NEAR(p[1], 0.25f, 1e-6f);
    EXPECT_EQ(p[2], 0.0f);  // 0.25 - 0.54 clamps to 0
}

TEST(ColorHelpers, NonFiniteInputsGiveValuesInRange) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float h : {nan, inf, -inf, 3e38f, -3e38f, 1e9f})
        for (float s : {0.5f, nan, inf})
            for (float l : {0.5f, nan, -inf}) {
                const auto p = rgb_of(h, s, l);
                for (float v : p) ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << h << " " << s << " " << l;
            }
    float h, s, l;
    rgb_to_hsl(nan, 0.5f, 0.2f, h, s, l);  // no crash; values unspecified
    rgb_to_hsl(inf, 0.0f, 0.0f, h, s, l);
}

TEST(ColorHelpers, SmallModulusEqualsTheLibraryFmod) {
    // The fast remainder used for fmod(x, 1) and fmod(x, 2) must agree bit for
    // bit, signed zeros and NaN included.
    auto same = [](float a, float b) {
        return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
    };
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> xs = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, -2.0f, 0.5f, -0.5f, 5.999999f, 16777216.0f, 16777218.0f,
                             -16777218.0f, 3e38f, -3e38f, 1e-45f, -1e-45f, 1.17549435e-38f, inf, -inf,
                             std::numeric_limits<float>::quiet_NaN()};
    cv::RNG rng(8);
    for (int i = 0; i < 200000; ++i) xs.push_back(rng.uniform(-40.0f, 40.0f));
    for (int i = 0; i < 200000; ++i) {
        const uint32_t bits = rng.next();
        float x;
        std::memcpy(&x, &bits, sizeof x);
        xs.push_back(x);
    }
    for (float x : xs)
        for (float y : {1.0f, 2.0f}) ASSERT_TRUE(same(vantorix::tonemath::fmod_small(x, y), std::fmod(x, y))) << x << " mod " << y;
}
