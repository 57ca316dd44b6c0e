// Tone and colour settings through the public interface: set, develop, export
// a 16-bit TIFF and read it back.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "support/test_support.h"
#include "test_tone_reference.h"

using namespace toneref;

namespace {

// 8-bit BGR source: a grey ramp, saturated colours and random colours.
cv::Mat source_bgr() {
    cv::Mat bgr(12, 24, CV_8UC3);
    cv::RNG rng(2024);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            cv::Vec3b& p = bgr.at<cv::Vec3b>(y, x);
            if (y == 0) {
                const uchar v = static_cast<uchar>(x * 255 / 23);
                p = {v, v, v};
            } else if (y == 1) {
                const uchar v = static_cast<uchar>(40 + x * 8);
                p = {static_cast<uchar>(x % 3 == 0 ? v : 20), static_cast<uchar>(x % 3 == 1 ? v : 30),
                     static_cast<uchar>(x % 3 == 2 ? v : 10)};
            } else {
                p = {static_cast<uchar>(rng.uniform(0, 256)), static_cast<uchar>(rng.uniform(0, 256)),
                     static_cast<uchar>(rng.uniform(0, 256))};
            }
        }
    return bgr;
}

// The pipeline's float value of an 8-bit source sample (widened by 257,
// then scaled by 1/65535 in single precision).
float to_pipeline(uchar v8) { return static_cast<float>(v8 * 257) * static_cast<float>(1.5259021896696422e-5); }
int to_16bit(float v) {
    const float s = v * 65535.0f;
    const long r = lrintf(s);
    return static_cast<int>(std::min(std::max(r, 0L), 65535L));
}

// Compares a developed RGB16 image with `chain` applied per pixel to the source.
template <typename Chain>
void expect_developed(const cv::Mat& rgb16, const cv::Mat& bgr, Chain chain, int tolerance = 0) {
    ASSERT_FALSE(rgb16.empty());
    ASSERT_EQ(rgb16.type(), CV_16UC3);
    ASSERT_EQ(rgb16.size(), bgr.size());
    int worst = 0;
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const cv::Vec3b s = bgr.at<cv::Vec3b>(y, x);
            const Px out = chain(Px{to_pipeline(s[2]), to_pipeline(s[1]), to_pipeline(s[0]), 1.0f});
            const cv::Vec3w got = rgb16.at<cv::Vec3w>(y, x);
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(static_cast<int>(got[c]) - to_16bit(out[c]));
                worst = std::max(worst, d);
                ASSERT_LE(d, tolerance) << "pixel (" << x << "," << y << ") channel " << c;
            }
        }
}

const cv::Mat& src() {
    static const cv::Mat m = source_bgr();
    return m;
}

}  // namespace

TEST(ToneColorPublic, DefaultSettingsRunTheWarmWhiteBalance) {
    const cv::Mat out = testsupport::develop_via_tiff(src(), nullptr);
    expect_developed(out, src(), [](Px p) { return white_balance(p, 5500.0f, 0.0f); });
    // Neutral temperature: the 16-bit samples come back unchanged.
    const cv::Mat neutral = testsupport::develop_via_tiff(src(), [](EngineContext* c) { vantorix_set_temperature(c, 6500.0f); });
    expect_developed(neutral, src(), [](Px p) { return p; });
}

TEST(ToneColorPublic, WhiteBalanceAndExposure) {
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 7000.0f);
                                                       vantorix_set_tint(c, 25.0f);
                                                   }),
                     src(), [](Px p) { return white_balance(p, 7000.0f, 25.0f); });
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_exposure(c, 0.6f);
                                                   }),
                     src(), [](Px p) { return exposure(p, 0.6f); });
    // Temperature below the fitted range: the 1000 K gains, and blue gone.
    const cv::Mat cold = testsupport::develop_via_tiff(src(), [](EngineContext* c) { vantorix_set_temperature(c, -300.0f); });
    expect_developed(cold, src(), [](Px p) { return white_balance(p, 1000.0f, 0.0f); });
}

TEST(ToneColorPublic, ToneRegions) {
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_highlights(c, -45.0f);
                                                       vantorix_set_shadows(c, 70.0f);
                                                   }),
                     src(), [](Px p) { return highlights_shadows(p, -45.0f, 70.0f); });
    // The exact quotient is within a unit of the last place of the scaled
    // conversion, hence one 16-bit step of tolerance.
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_whites(c, 40.0f);
                                                       vantorix_set_blacks(c, -30.0f);
                                                   }),
                     src(), [](Px p) { return whites_blacks_approx(p, 40.0f, -30.0f); }, 1);
}

TEST(ToneColorPublic, ToneCurvesFromTheSetter) {
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       const float master[] = {0, 0.1f, 1, 0.9f};
                                                       vantorix_set_tone_curve(c, 0, master, 2);
                                                       // Out of x order: used sorted.
                                                       const float blue[] = {1, 1, 0, 0, 0.4f, 0.6f};
                                                       vantorix_set_tone_curve(c, 3, blue, 3);
                                                   }),
                     src(), [](Px p) {
                         static const auto m = curve_table({{0, 0.1f}, {1, 0.9f}});
                         static const auto id = curve_table({{0, 0}, {1, 1}});
                         static const auto b = curve_table({{0, 0}, {0.4f, 0.6f}, {1, 1}});
                         p[0] = id[lut_index(m[lut_index(p[0])])];
                         p[1] = id[lut_index(m[lut_index(p[1])])];
                         p[2] = b[lut_index(m[lut_index(p[2])])];
                         return p;
                     });
}

TEST(ToneColorPublic, ColourStages) {
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_saturation(c, 35.0f);
                                                       vantorix_set_vibrance(c, -50.0f);
                                                   }),
                     src(), [](Px p) { return saturation_vibrance(p, 35.0f, -50.0f); });
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_hsl(c, 0, 30.0f, 20.0f, -10.0f);
                                                       vantorix_set_hsl(c, 5, -40.0f, -60.0f, 30.0f);
                                                   }),
                     src(), [](Px p) {
                         std::array<Band, 8> b{};
                         b[0] = {30, 20, -10};
                         b[5] = {-40, -60, 30};
                         return hsl_bands(p, b);
                     });
    expect_developed(testsupport::develop_via_tiff(src(),
                                                   [](EngineContext* c) {
                                                       vantorix_set_temperature(c, 6500.0f);
                                                       vantorix_set_split_toning(c, 0, 40.0f, 60.0f, 25.0f);
                                                       vantorix_set_split_toning(c, 1, 220.0f, 80.0f, 999.0f);
                                                   }),
                     src(), [](Px p) { return split_toning(p, 40.0f, 60.0f, 220.0f, 80.0f, 25.0f); });
}

TEST(ToneColorPublic, AllStagesRunInTheDriversOrder) {
    const cv::Mat out = testsupport::develop_via_tiff(src(), [](EngineContext* c) {
        vantorix_set_temperature(c, 4800.0f);
        vantorix_set_tint(c, -10.0f);
        vantorix_set_exposure(c, 0.4f);
        vantorix_set_highlights(c, -30.0f);
        vantorix_set_shadows(c, 40.0f);
        vantorix_set_whites(c, 20.0f);
        vantorix_set_blacks(c, 10.0f);
        const float master[] = {0, 0, 0.3f, 0.25f, 0.7f, 0.8f, 1, 1};
        vantorix_set_tone_curve(c, 0, master, 4);
        vantorix_set_saturation(c, 20.0f);
        vantorix_set_vibrance(c, 30.0f);
        vantorix_set_hsl(c, 3, 20.0f, 30.0f, 10.0f);
        vantorix_set_split_toning(c, 0, 50.0f, 30.0f, -20.0f);
        vantorix_set_split_toning(c, 1, 210.0f, 40.0f, 0.0f);
    });
    expect_developed(out, src(), [](Px p) {
        static const auto m = curve_table({{0, 0}, {0.3f, 0.25f}, {0.7f, 0.8f}, {1, 1}});
        static const auto id = curve_table({{0, 0}, {1, 1}});
        p = white_balance(p, 4800.0f, -10.0f);
        p = exposure(p, 0.4f);
        p = highlights_shadows(p, -30.0f, 40.0f);
        p = whites_blacks_approx(p, 20.0f, 10.0f);
        for (int c = 0; c < 3; ++c) p[c] = id[lut_index(m[lut_index(p[c])])];
        p = saturation_vibrance(p, 20.0f, 30.0f);
        std::array<Band, 8> b{};
        b[3] = {20, 30, 10};
        p = hsl_bands(p, b);
        return split_toning(p, 50.0f, 30.0f, 210.0f, 40.0f, -20.0f);
    }, 2);
}
