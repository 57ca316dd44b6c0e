// Highlights/shadows and whites/blacks stages.
#include <gtest/gtest.h>

#include <limits>
#include <opencv2/imgproc.hpp>

#include "pipeline/stages.h"
#include "test_tone_reference.h"

using namespace toneref;
using vantorix::Adjustments;

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

Adjustments hs(float highlights, float shadows) {
    Adjustments a;
    a.highlights = highlights;
    a.shadows = shadows;
    return a;
}
Adjustments wbk(float whites, float blacks) {
    Adjustments a;
    a.whites = whites;
    a.blacks = blacks;
    return a;
}

Px run_hs(Px p, float highlights, float shadows) {
    cv::Mat m = image_of({p});
    vantorix::apply_highlights_shadows(m, hs(highlights, shadows));
    return px_at(m, 0);
}
Px run_wbk(Px p, float whites, float blacks) {
    cv::Mat m = image_of({p});
    vantorix::apply_whites_blacks(m, wbk(whites, blacks));
    return px_at(m, 0);
}

// The whole-plane form of whites/blacks: split, one matrix expression with
// doubles, to-zero at 0, truncation at 1, merge.
cv::Mat whites_blacks_by_planes(const cv::Mat& src, float whites, float blacks) {
    const float wp = whites / 100.0f * 0.2f + 1.0f;
    const float bp = blacks / 100.0f * 0.1f;
    const float range = wp - bp;
    std::vector<cv::Mat> planes;
    cv::split(src, planes);
    for (int c = 0; c < 3; ++c) {
        planes[c] = (planes[c] - static_cast<double>(bp)) / static_cast<double>(range);
        cv::threshold(planes[c], planes[c], 0.0, 0.0, cv::THRESH_TOZERO);
        cv::threshold(planes[c], planes[c], 1.0, 1.0, cv::THRESH_TRUNC);
    }
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

}  // namespace

TEST(ToneRegions, NeutralSettingsLeaveTheImageBitForBit) {
    const cv::Mat src = random_image(17, 6, 1, -0.3f, 1.4f);
    cv::Mat m = src.clone();
    vantorix::apply_highlights_shadows(m, Adjustments());
    vantorix::apply_whites_blacks(m, Adjustments());
    EXPECT_TRUE(same_bits(m, src));
    // NaN settings count as neutral.
    vantorix::apply_highlights_shadows(m, hs(kNaN, kNaN));
    vantorix::apply_whites_blacks(m, wbk(kNaN, kNaN));
    EXPECT_TRUE(same_bits(m, src));
}

TEST(ToneRegions, ShadowsWorkedExamples) {
    // 0.25 grey: d = 0.5, g = 1 / (0.125 * 1.5 + 1) = 0.8421, 0.25^0.8421.
    const Px p = run_hs({0.25f, 0.25f, 0.25f, 0.5f}, 0.0f, 100.0f);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], 0.3112f, 1e-4f);
    EXPECT_NEAR(p[0], std::pow(0.25, 1.0 / 1.1875), 1e-6);
    EXPECT_EQ(p[3], 0.5f);
    // Black stays black; gamma for black at +100 is 0.4.
    EXPECT_EQ(run_hs({0.0f, 0.0f, 0.0f, 1.0f}, 0.0f, 100.0f), (Px{0.0f, 0.0f, 0.0f, 1.0f}));
    // A saturated colour is judged by luminance: blue-ish (0.1, 0.1, 0.9) has
    // L = 0.158, so shadows lift it and highlights leave it alone.
    const Px blue{0.1f, 0.1f, 0.9f, 1.0f};
    EXPECT_EQ(run_hs(blue, 100.0f, 0.0f), blue);
    const Px lifted = run_hs(blue, 0.0f, 100.0f);
    EXPECT_GT(lifted[0], 0.1f);
    EXPECT_GT(lifted[2], 0.9f);
}

TEST(ToneRegions, HighlightsWorkedExamples) {
    EXPECT_EQ(run_hs({1.0f, 1.0f, 1.0f, 1.0f}, -100.0f, 0.0f), (Px{0.6f, 0.6f, 0.6f, 1.0f}));
    // (0.9, 0.9, 0.9) at +100: e = 0.8, k = 1.256, 1.1304 clips to 1.
    EXPECT_EQ(run_hs({0.9f, 0.9f, 0.9f, 1.0f}, 100.0f, 0.0f), (Px{1.0f, 1.0f, 1.0f, 1.0f}));
    const Px p = run_hs({0.75f, 0.75f, 0.75f, 1.0f}, 100.0f, 0.0f);  // e = 0.5, k = 1.1
    EXPECT_NEAR(p[0], 0.825f, 1e-5f);
    // Shadows alone leave bright pixels, highlights alone dark pixels.
    EXPECT_EQ(run_hs({0.9f, 0.8f, 0.7f, 1.0f}, 0.0f, 80.0f), (Px{0.9f, 0.8f, 0.7f, 1.0f}));
    EXPECT_EQ(run_hs({0.1f, 0.2f, 0.3f, 1.0f}, -80.0f, 0.0f), (Px{0.1f, 0.2f, 0.3f, 1.0f}));
}

TEST(ToneRegions, MidGreyReceivesNeitherCorrection) {
    // Find a grey whose single-precision luminance is exactly 0.5.
    float v = 0.5f;
    while (lum709(v, v, v) != 0.5f) v = std::nextafter(v, lum709(v, v, v) < 0.5f ? 1.0f : 0.0f);
    const Px grey{v, v, v, 1.0f};
    EXPECT_EQ(run_hs(grey, 100.0f, 100.0f), grey);
    EXPECT_EQ(run_hs(grey, -100.0f, -100.0f), grey);
}

TEST(ToneRegions, HighlightsShadowsMatchTheFormulaPerPixel) {
    const cv::Mat src = random_image(29, 11, 7);
    const float cases[][2] = {{100, 100}, {-100, -100}, {35, -20}, {-60, 45}, {0, 70}, {250, -50}, {-400, 300}};
    for (const auto& c : cases) {
        cv::Mat m = src.clone();
        vantorix::apply_highlights_shadows(m, hs(c[0], c[1]));
        for (int i = 0; i < static_cast<int>(m.total()); ++i)
            ASSERT_EQ(px_at(m, i), highlights_shadows(px_at(src, i), c[0], c[1])) << c[0] << "/" << c[1] << " px " << i;
    }
}

TEST(ToneRegions, StrongNegativeShadowsKeepDarkening) {
    // Below about -66.7 the denominator reaches 0 for the darkest pixels: they
    // must get the strongest darkening (gamma 3), never a lift.
    cv::Mat ramp(1, 200, CV_32FC4);
    for (int i = 0; i < 200; ++i) {
        const float v = i / 400.0f;  // 0 .. 0.5
        ramp.at<cv::Vec4f>(0, i) = {v, v, v, 1.0f};
    }
    for (float s : {-66.0f, -66.7f, -70.0f, -100.0f, -300.0f, -1e30f, -kInf}) {
        cv::Mat m = ramp.clone();
        vantorix::apply_highlights_shadows(m, hs(0.0f, s));
        ASSERT_TRUE(all_in_unit_range(m)) << s;
        for (int i = 1; i < 200; ++i) {
            const float in = ramp.at<cv::Vec4f>(0, i)[0], out = m.at<cv::Vec4f>(0, i)[0];
            EXPECT_LE(out, in) << "shadows " << s << " lifted " << in;
            EXPECT_GE(out, in * in * in * 0.999999f) << "shadows " << s << " beyond gamma 3 at " << in;
        }
    }
    // The darkest non-black pixel at -100: d close to 1, denominator < 0 -> gamma 3.
    const Px dark = run_hs({0.01f, 0.01f, 0.01f, 1.0f}, 0.0f, -100.0f);
    EXPECT_NEAR(dark[0], 1e-6f, 1e-9f);
    // Infinite positive shadows: gamma 0.3; infinite highlights: k 2 or 0.3.
    EXPECT_NEAR(run_hs({0.25f, 0.25f, 0.25f, 1.0f}, 0.0f, kInf)[0], powf(0.25f, 0.3f), 1e-6f);
    EXPECT_EQ(run_hs({0.8f, 0.8f, 0.8f, 1.0f}, kInf, 0.0f)[0], 1.0f);
    EXPECT_NEAR(run_hs({0.8f, 0.8f, 0.8f, 1.0f}, -kInf, 0.0f)[0], 0.24f, 1e-6f);
}

TEST(ToneRegions, WhitesBlacksWorkedExamples) {
    EXPECT_NEAR(run_wbk({0.6f, 0.6f, 0.6f, 1.0f}, 100.0f, 0.0f)[0], 0.5f, 1e-6f);
    const Px b = run_wbk({0.55f, 0.05f, 0.1f, 0.4f}, 0.0f, 100.0f);
    EXPECT_NEAR(b[0], 0.5f, 1e-6f);
    EXPECT_EQ(b[1], 0.0f);
    EXPECT_EQ(b[2], 0.0f);
    EXPECT_EQ(b[3], 0.4f);
    EXPECT_NEAR(run_wbk({0.0f, 0.0f, 0.0f, 1.0f}, 0.0f, -100.0f)[0], 0.1f / 1.1f, 1e-6f);
    const Px w = run_wbk({0.85f, 0.8f, 0.4f, 1.0f}, -100.0f, 0.0f);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_NEAR(w[1], 1.0f, 1e-6f);
    EXPECT_NEAR(w[2], 0.5f, 1e-6f);
}

TEST(ToneRegions, WhitesBlacksEqualTheWholePlaneForm) {
    // Odd sizes so that vectorised library paths also process tails; input
    // outside 0..1 to exercise both limits.
    const cv::Mat src = random_image(37, 9, 9, -0.4f, 1.6f);
    const cv::Mat wide = random_image(1003, 1, 10, -0.4f, 1.6f);
    const float cases[][2] = {{100, 0}, {0, 100}, {-100, -100}, {37.5f, -12.25f}, {-250, 180}, {50, 100}, {3, 0}};
    for (const auto& c : cases) {
        for (const cv::Mat* s : {&src, &wide}) {
            cv::Mat m = s->clone();
            vantorix::apply_whites_blacks(m, wbk(c[0], c[1]));
            ASSERT_TRUE(same_bits(m, whites_blacks_by_planes(*s, c[0], c[1]))) << c[0] << "/" << c[1];
            ASSERT_TRUE(all_in_unit_range(m));
            // And within rounding of the exact quotient.
            for (int i = 0; i < static_cast<int>(m.total()); ++i) {
                const Px want = whites_blacks_approx(px_at(*s, i), c[0], c[1]), got = px_at(m, i);
                for (int k = 0; k < 3; ++k) ASSERT_NEAR(got[k], want[k], 1e-6f);
                ASSERT_EQ(got[3], px_at(*s, i)[3]);
            }
        }
    }
}

TEST(ToneRegions, EmptyRangeIsAHardThresholdAtTheBlackPoint) {
    const Px p{0.1f, 0.2f, 0.25f, 0.6f};
    // whites -400, blacks +200: white point 0.2, black point 0.2, range 0.
    EXPECT_EQ(run_wbk(p, -400.0f, 200.0f), (Px{0.0f, 0.0f, 1.0f, 0.6f}));
    // Negative range (white point below black point): same rule, no inversion.
    EXPECT_EQ(run_wbk(p, -1000.0f, 150.0f), (Px{0.0f, 1.0f, 1.0f, 0.6f}));
    // whites -500: white point 0, black point 0.
    EXPECT_EQ(run_wbk({0.0f, 1e-7f, 0.5f, 1.0f}, -500.0f, 0.0f), (Px{0.0f, 1.0f, 1.0f, 1.0f}));
    // A tiny positive range still divides.
    const Px q = run_wbk({0.5f, 0.5f, 0.5f, 1.0f}, -450.0f, 0.0f);  // white point 0.1
    EXPECT_EQ(q[0], 1.0f);
}

TEST(ToneRegions, NonFiniteWhitesBlacksAreSafe) {
    const cv::Mat src = random_image(13, 3, 12, -0.2f, 1.2f);
    for (auto c : {std::array<float, 2>{kInf, 0.0f}, {-kInf, 0.0f}, {0.0f, kInf}, {0.0f, -kInf}, {kInf, kInf},
                   {-kInf, -kInf}, {3e38f, -3e38f}, {kNaN, 50.0f}}) {
        cv::Mat m = src.clone();
        vantorix::apply_whites_blacks(m, wbk(c[0], c[1]));
        EXPECT_TRUE(all_in_unit_range(m)) << c[0] << "/" << c[1];
    }
    // NaN whites count as 0.
    cv::Mat a = src.clone(), b = src.clone();
    vantorix::apply_whites_blacks(a, wbk(kNaN, 50.0f));
    vantorix::apply_whites_blacks(b, wbk(0.0f, 50.0f));
    EXPECT_TRUE(same_bits(a, b));
}
