// Tone-curve tables and the tone-curve stage.
#include <gtest/gtest.h>

#include <limits>

#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"
#include "test_tone_reference.h"

using namespace toneref;
using vantorix::Adjustments;
using vantorix::ToneCurve;

namespace {

ToneCurve curve(std::initializer_list<std::pair<float, float>> pts) {
    ToneCurve c;
    for (const auto& p : pts) c.push_back({p.first, p.second});
    return c;
}
std::vector<Pt> ref_points(const ToneCurve& c) {
    std::vector<Pt> v;
    for (const auto& p : c) v.push_back({p.x, p.y});
    return v;
}
std::vector<float> lut(const ToneCurve& c) {
    std::vector<float> t;
    vantorix::build_curve_lut(c, t);
    return t;
}
Adjustments with_curve(int channel, const ToneCurve& c) {
    Adjustments a;
    a.tone_curves[channel] = c;
    return a;
}

}  // namespace

TEST(ToneCurves, IdentityTableForInactiveCurves) {
    for (const ToneCurve& c : {vantorix::Adjustments::default_curve(), ToneCurve{}, curve({{0.3f, 0.9f}}),
                               curve({{1, 1}, {0, 0}})}) {
        const auto t = lut(c);
        ASSERT_EQ(t.size(), 65536u);
        for (int i = 0; i < 65536; ++i) ASSERT_EQ(t[i], static_cast<float>(i) / 65535.0f) << i;
    }
    EXPECT_FALSE(vantorix::curve_is_active(Adjustments::default_curve()));
    EXPECT_FALSE(vantorix::curve_is_active(curve({{0.5f, 0.5f}})));
    EXPECT_TRUE(vantorix::curve_is_active(curve({{0, 0}, {1, 0.99f}})));
    EXPECT_TRUE(vantorix::curve_is_active(curve({{0, 0}, {0.5f, 0.5f}, {1, 1}})));
}

TEST(ToneCurves, TwoPointCurveIsAnSShape) {
    const auto t = lut(curve({{0, 0.1f}, {1, 0.9f}}));
    // The ends: exact where t = 0, within rounding of the cubic where t = 1.
    EXPECT_EQ(t[0], 0.1f);
    EXPECT_NEAR(t[65535], 0.9f, 1e-6f);
    // 0.5 maps to 0.5; 0.25 to about 0.2625, not the straight line's 0.3.
    EXPECT_NEAR(t[32768], 0.5f, 2e-5f);
    EXPECT_NEAR(t[16384], 0.2625f, 1e-4f);
    // p1 + (p2 - p1) * 0.5 * (t + 3t^2 - 2t^3)
    for (int i = 0; i < 65536; i += 977) {
        const double x = i / 65535.0;
        EXPECT_NEAR(t[i], 0.1 + 0.8 * 0.5 * (x + 3 * x * x - 2 * x * x * x), 2e-6) << i;
    }
}

TEST(ToneCurves, EndsAreFlatAndPassThroughThePoints) {
    const auto t = lut(curve({{0.2f, 0.3f}, {0.8f, 0.6f}}));
    for (int i = 0; i < 65536; ++i) {
        const float x = static_cast<float>(i) / 65535.0f;
        if (x <= 0.2f) {
            ASSERT_EQ(t[i], 0.3f) << i;
        }
        if (x >= 0.8f) {
            ASSERT_NEAR(t[i], 0.6f, 1e-6f) << i;
        }
    }
    // Through every control point (inputs exactly on a table entry).
    const auto u = lut(curve({{0, 0.05f}, {0.25f, 0.4f}, {0.5f, 0.45f}, {0.75f, 0.9f}, {1, 0.95f}}));
    EXPECT_EQ(u[0], 0.05f);
    EXPECT_NEAR(u[65535], 0.95f, 1e-6f);
    EXPECT_NEAR(u[16384], 0.4f, 1e-4f);
    EXPECT_NEAR(u[32768], 0.45f, 1e-4f);
    EXPECT_NEAR(u[49151], 0.9f, 1e-4f);
    // y outside 0..1 is limited.
    const auto v = lut(curve({{0, -0.5f}, {0.5f, 0.5f}, {1, 1.7f}}));
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[65535], 1.0f);
    for (float e : v) ASSERT_TRUE(e >= 0.0f && e <= 1.0f);
}

TEST(ToneCurves, CoincidentXGivesTheSegmentStart) {
    // Points 1 and 2 share x = 0.5: entries that fall into the zero-width
    // segment (only x = 0.5 itself would) take its first y; the segment before
    // ends at the first of the pair (t = 1 there).
    const ToneCurve c = curve({{0, 0}, {0.5f, 0.2f}, {0.5f, 0.8f}, {1, 1}});
    const auto t = lut(c);
    const auto r = curve_table(ref_points(c));
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(t[i], r[i]) << i;
    EXPECT_NEAR(t[32767], 0.2f, 1e-4f);
    EXPECT_NEAR(t[32768], 0.8f, 1e-4f);
}

TEST(ToneCurves, TablesEqualTheStraightforwardScan) {
    cv::RNG rng(99);
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 2 + trial % 9;
        ToneCurve c;
        for (int i = 0; i < n; ++i) c.push_back({rng.uniform(-0.1f, 1.1f), rng.uniform(-0.2f, 1.2f)});
        if (trial % 3 == 0) c[1].x = c[0].x;  // a duplicate x
        std::vector<Pt> sorted = ref_points(c);
        std::stable_sort(sorted.begin(), sorted.end(), [](const Pt& a, const Pt& b) { return a.x < b.x; });
        const auto t = lut(c);
        const auto r = curve_table(sorted);
        for (int i = 0; i < 65536; ++i) ASSERT_EQ(t[i], r[i]) << "trial " << trial << " entry " << i;
    }
    // A long curve.
    ToneCurve big;
    for (int i = 0; i < 200; ++i) big.push_back({i / 199.0f, 0.5f + 0.4f * std::sin(i * 0.3f)});
    const auto t = lut(big);
    const auto r = curve_table(ref_points(big));
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(t[i], r[i]) << i;
}

TEST(ToneCurves, PointsOutOfOrderAreSortedStably) {
    // Stored out of order; equal x keep their stored order (0.2 before 0.8).
    const ToneCurve stored = curve({{1, 1}, {0.5f, 0.2f}, {0, 0}, {0.5f, 0.8f}});
    const ToneCurve ordered = curve({{0, 0}, {0.5f, 0.2f}, {0.5f, 0.8f}, {1, 1}});
    EXPECT_EQ(lut(stored), lut(ordered));
    // The stage uses the same table, and reads the settings without changing them.
    const Adjustments a = with_curve(0, stored), b = with_curve(0, ordered);
    const cv::Mat src = random_image(19, 4, 6);
    cv::Mat ma = src.clone(), mb = src.clone();
    vantorix::apply_tone_curves(ma, a);
    vantorix::apply_tone_curves(mb, b);
    EXPECT_TRUE(same_bits(ma, mb));
    EXPECT_EQ(a.tone_curves[0][0].x, 1.0f);
    // The default points in reverse order are the identity curve.
    cv::Mat mc = src.clone();
    vantorix::apply_tone_curves(mc, with_curve(2, curve({{1, 1}, {0, 0}})));
    EXPECT_TRUE(same_bits(mc, src));
}

TEST(ToneCurves, DefaultCurvesLeaveTheImageBitForBit) {
    const cv::Mat src = random_image(21, 5, 13, -0.2f, 1.2f);
    cv::Mat m = src.clone();
    vantorix::apply_tone_curves(m, Adjustments());
    EXPECT_TRUE(same_bits(m, src));
    Adjustments few;
    few.tone_curves[0] = curve({{0.5f, 0.9f}});
    few.tone_curves[3].clear();
    vantorix::apply_tone_curves(m, few);
    EXPECT_TRUE(same_bits(m, src));
}

TEST(ToneCurves, StageIsMasterThenOwnCurvePerChannel) {
    Adjustments a;
    a.tone_curves[0] = curve({{0, 0.1f}, {1, 0.9f}});
    a.tone_curves[1] = curve({{0, 0}, {0.5f, 0.7f}, {1, 1}});
    a.tone_curves[3] = curve({{0, 1}, {1, 0}});  // inverted blue
    const auto master = curve_table(ref_points(a.tone_curves[0]));
    const std::vector<float> own[3] = {curve_table(ref_points(a.tone_curves[1])),
                                       curve_table(ref_points(a.tone_curves[2])),
                                       curve_table(ref_points(a.tone_curves[3]))};
    cv::Mat src = random_image(33, 7, 17, -0.3f, 1.3f);
    src.at<cv::Vec4f>(0, 0) = {std::numeric_limits<float>::quiet_NaN(), 2.0f, -1.0f, 0.5f};
    cv::Mat m = src.clone();
    vantorix::apply_tone_curves(m, a);
    for (int i = 0; i < static_cast<int>(m.total()); ++i) {
        const Px in = px_at(src, i), out = px_at(m, i);
        for (int c = 0; c < 3; ++c) {
            const float v = master[lut_index(std::isnan(in[c]) ? 0.0f : in[c])];
            ASSERT_EQ(out[c], own[c][lut_index(v)]) << "px " << i << " ch " << c;
        }
        ASSERT_EQ(out[3], in[3]);
    }
    // The NaN sample reads entry 0; 2.0 entry 65535; -1 entry 0.
    EXPECT_EQ(px_at(m, 0)[0], own[0][lut_index(master[0])]);
    EXPECT_EQ(px_at(m, 0)[1], own[1][lut_index(master[65535])]);
    EXPECT_EQ(px_at(m, 0)[2], own[2][lut_index(master[0])]);
}

TEST(ToneCurves, MasterOnlyStillQuantisesThroughIdentityTables) {
    const Adjustments a = with_curve(0, curve({{0, 0.1f}, {1, 0.9f}}));
    cv::Mat m = image_of({{0.25f, 0.5f, 0.75f, 1.0f}});
    vantorix::apply_tone_curves(m, a);
    const auto master = curve_table(ref_points(a.tone_curves[0]));
    const float in[3] = {0.25f, 0.5f, 0.75f};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(px_at(m, 0)[c], static_cast<float>(lut_index(master[lut_index(in[c])])) / 65535.0f);
    EXPECT_NEAR(px_at(m, 0)[0], 0.2625f, 1e-4f);
    EXPECT_NEAR(px_at(m, 0)[1], 0.5f, 1e-4f);
    // A single channel curve leaves the other channels' values quantised only.
    cv::Mat g = image_of({{0.25f, 0.5f, 0.75f, 1.0f}});
    vantorix::apply_tone_curves(g, with_curve(2, curve({{0, 0}, {0.5f, 0.6f}, {1, 1}})));
    EXPECT_EQ(px_at(g, 0)[0], static_cast<float>(lut_index(0.25f)) / 65535.0f);
    EXPECT_NEAR(px_at(g, 0)[1], 0.6f, 1e-4f);
}

TEST(ToneCurves, NonFinitePointsAreSafe) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const ToneCurve bad[] = {curve({{0, nan}, {1, 1}}), curve({{nan, 0.5f}, {0, 0}, {1, 1}}),
                             curve({{-inf, 0}, {0.5f, inf}, {inf, 1}}), curve({{nan, nan}, {nan, nan}}),
                             curve({{0, -inf}, {1, inf}, {1, -inf}})};
    const cv::Mat src = random_image(11, 3, 4);
    for (const ToneCurve& c : bad) {
        const auto t = lut(c);
        for (float e : t) ASSERT_TRUE(e >= 0.0f && e <= 1.0f);
        cv::Mat m = src.clone();
        vantorix::apply_tone_curves(m, with_curve(1, c));
        EXPECT_TRUE(all_in_unit_range(m));
    }
}
