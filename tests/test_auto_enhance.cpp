#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "output/histogram.h"
#include "test_auto_helpers.h"

using autotest::grey;
using autotest::load_png;
using autotest::set_working;
using testsupport::Context;

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The proposal table written out from the measurements.
struct Expected {
    float contrast, highlights, shadows, noise;
};
Expected expected_from(float sigma, float p_hi, float p_lo, float sigma_detail) {
    Expected e;
    e.contrast = clampf((0.15f - sigma) / 0.15f * 15.0f, -20.0f, 15.0f);
    e.highlights = p_hi <= 0.01f ? 0.0f : -std::min(p_hi * 500.0f, 40.0f);
    e.shadows = clampf(p_lo * 400.0f, 15.0f, 25.0f);
    e.noise = clampf((0.1f - sigma_detail) / 0.1f * 80.0f + 20.0f, 0.0f, 20.0f);
    return e;
}

AutoEnhanceResult enhance(EngineContext* ctx) {
    AutoEnhanceResult r;
    for (float& s : r.slots) s = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(vantorix_auto_enhance(ctx, &r), 0) << vantorix_last_error(ctx);
    return r;
}

void expect_fixed_slots(const AutoEnhanceResult& r) {
    EXPECT_EQ(r.slots[1], 0.0f);
    EXPECT_EQ(r.slots[5], 0.0f);
    EXPECT_EQ(r.slots[6], 5.0f);
    EXPECT_EQ(r.slots[7], 6500.0f);
    EXPECT_EQ(r.slots[8], 0.0f);
    EXPECT_EQ(r.slots[9], 0.0f);
    EXPECT_EQ(r.slots[10], 8.0f);
    EXPECT_EQ(r.slots[11], 0.0f);
    EXPECT_EQ(r.slots[12], 0.0f);
    EXPECT_EQ(r.slots[13], 0.0f);
    EXPECT_EQ(r.slots[15], 1.0f);
    for (int i = 16; i < 32; ++i) EXPECT_EQ(r.slots[i], 0.0f) << "slot " << i;
}

// Exposure for a median at bin i (0.35 * log2(0.42 / (i / 255))).
float exposure_for_bin(int bin) { return clampf(log2f(0.42f / std::max(bin / 255.0f, 0.001f)) * 0.35f, -1.0f, 1.0f); }

// A 512-wide image (measured without resampling) of grey 128 with `white`
// rows of 255 and `black` rows of 0 at the top.
cv::Mat rows_image(int height, int white, int black) {
    cv::Mat m = grey(512, height, 128);
    m(cv::Rect(0, 0, 512, white)).setTo(cv::Scalar::all(255));
    m(cv::Rect(0, white, 512, black)).setTo(cv::Scalar::all(0));
    return m;
}

}  // namespace

TEST(AutoEnhance, MeanStd) {
    uint32_t h[256] = {};
    float mean = -1, sd = -1;
    vantorix::histogram_mean_std(h, mean, sd);
    EXPECT_EQ(mean, 0.5f);
    EXPECT_EQ(sd, 0.0f);
    h[64] = 500;
    h[192] = 500;
    vantorix::histogram_mean_std(h, mean, sd);
    EXPECT_FLOAT_EQ(mean, 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(sd, 64.0f / 255.0f);
    std::memset(h, 0, sizeof h);
    h[200] = 3;
    vantorix::histogram_mean_std(h, mean, sd);
    EXPECT_FLOAT_EQ(mean, 200.0f / 255.0f);
    EXPECT_NEAR(sd, 0.0f, 1e-6f);
}

TEST(AutoEnhance, AnalysisSizes) {
    EXPECT_EQ(vantorix::analysis_height(1000, 600, 512), 307);
    EXPECT_EQ(vantorix::analysis_height(3000, 2000, 512), 341);
    EXPECT_EQ(vantorix::analysis_height(6000, 4000, 512), 341);
    EXPECT_EQ(vantorix::analysis_height(4000, 6000, 512), 768);
    EXPECT_EQ(vantorix::analysis_height(100, 30, 512), 153);  // enlarged
    // More than 512 times wider than tall: at least one row.
    EXPECT_EQ(vantorix::analysis_height(600, 1, 512), 1);
    EXPECT_EQ(vantorix::analysis_height(4096, 1, 512), 1);
    // Far taller than wide: bounded at eight times the width.
    EXPECT_EQ(vantorix::analysis_height(1, 4096, 512), 4096);
    EXPECT_EQ(vantorix::analysis_height(64, 512, 512), 4096);
    EXPECT_EQ(vantorix::analysis_height(100, 800, 512), 4096);
    EXPECT_EQ(vantorix::analysis_height(100, 801, 512), 4096);
    EXPECT_EQ(vantorix::analysis_height(100, 799, 512), 4090);

    const vantorix::ImageBuffer src(grey(1000, 600, 77));
    const cv::Mat a = vantorix::analysis_image(src, 512);
    EXPECT_EQ(a.cols, 512);
    EXPECT_EQ(a.rows, 307);
    EXPECT_EQ(a.type(), CV_32FC4);
    EXPECT_FLOAT_EQ(a.at<cv::Vec4f>(100, 100)[0], 77.0f * 257.0f / 65535.0f);
    EXPECT_EQ(a.at<cv::Vec4f>(100, 100)[3], 1.0f);
}

// The luminance plane taken straight from the 16-bit analysis copy (or from
// its float form) is bit for bit the matrix expression over split planes.
TEST(AutoAnalysis, LuminancePlaneIdentity) {
    cv::RNG rng(77);
    for (const cv::Size size : {cv::Size(333, 17), cv::Size(800, 533), cv::Size(1, 1), cv::Size(7, 3)}) {
        SCOPED_TRACE(size);
        cv::Mat src16(size, CV_16UC4);
        rng.fill(src16, cv::RNG::UNIFORM, 0, 65536);
        src16.at<cv::Vec4w>(0, 0) = cv::Vec4w(65535, 65535, 65535, 0);
        const vantorix::ImageBuffer buf = vantorix::ImageBuffer::adopt(src16);
        const cv::Mat f = buf.to_float();
        std::vector<cv::Mat> planes;
        cv::split(f, planes);
        const cv::Mat expected = planes[0] * static_cast<double>(0.2126f) + planes[1] * static_cast<double>(0.7152f) +
                                 planes[2] * static_cast<double>(0.0722f);
        const cv::Mat from16 = vantorix::luminance_plane(buf.mat);
        const cv::Mat from_float = vantorix::luminance_plane(f);
        ASSERT_EQ(from16.type(), CV_32FC1);
        ASSERT_EQ(from16.size(), size);
        EXPECT_EQ(std::memcmp(from16.data, expected.data, expected.total() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(from_float.data, expected.data, expected.total() * sizeof(float)), 0);
        // And it is the Rec. 709 weighting.
        for (int i = 0; i < 50; ++i) {
            const int y = rng.uniform(0, size.height), x = rng.uniform(0, size.width);
            const cv::Vec4w p = src16.at<cv::Vec4w>(y, x);
            const double ref = (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 65535.0;
            EXPECT_NEAR(from16.at<float>(y, x), ref, 1e-6);
        }
        EXPECT_NEAR(from16.at<float>(0, 0), 1.0f, 1e-6f);
    }
}

// Measured straight from the 16-bit analysis copy, the histograms and every
// slot are those of its float form.
TEST(AutoAnalysis, EnhanceFromSixteenBitsIdentity) {
    cv::RNG rng(4);
    for (const int rows : {77, 1, 32, 341}) {
        SCOPED_TRACE(rows);
        cv::Mat src16(rows, 512, CV_16UC4);
        rng.fill(src16, cv::RNG::UNIFORM, 0, 65536);
        cv::GaussianBlur(src16, src16, cv::Size(0, 0), 2.0);
        src16.rowRange(0, 1).setTo(cv::Scalar::all(65535));
        const vantorix::ImageBuffer buf = vantorix::ImageBuffer::adopt(src16);
        const cv::Mat f = buf.to_float();
        uint32_t a[4][256], b[4][256];
        vantorix::compute_histogram(f, a[0], a[1], a[2], a[3]);
        vantorix::analysis_histograms(buf.mat, b[0], b[1], b[2], b[3]);
        EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
        float from_float[32], from16[32];
        vantorix::enhance_from_analysis(f, from_float);
        vantorix::enhance_from_analysis(buf.mat, from16);
        EXPECT_EQ(std::memcmp(from_float, from16, sizeof from16), 0);
    }
}

TEST(AutoEnhance, UniformMidGrey) {
    Context ctx;
    ASSERT_TRUE(load_png(ctx, grey(300, 200, 128), "ae_mid"));
    const AutoEnhanceResult r = enhance(ctx);
    EXPECT_NEAR(r.slots[0], -0.09f, 0.001f);
    EXPECT_EQ(r.slots[0], exposure_for_bin(128));
    EXPECT_EQ(r.slots[2], 15.0f);  // sigma 0
    EXPECT_EQ(r.slots[3], 0.0f);   // nothing clipped
    EXPECT_EQ(r.slots[4], 15.0f);
    EXPECT_EQ(r.slots[14], 20.0f);  // no fine detail
    expect_fixed_slots(r);
}

TEST(AutoEnhance, ClippedShares) {
    Context ctx;
    struct Case {
        int height, white, black;
        float highlights, shadows;
    } cases[] = {
        {100, 10, 0, -40.0f, 15.0f},   // 10 % white
        {100, 8, 0, -40.0f, 15.0f},    // 8 %
        {100, 2, 0, -10.0f, 15.0f},    // 2 %
        {200, 1, 0, 0.0f, 15.0f},      // 0.5 %
        {100, 1, 0, 0.0f, 15.0f},      // exactly 1 %: the test is strictly greater
        {100, 0, 5, 0.0f, 20.0f},      // 5 % black
        {400, 0, 15, 0.0f, 15.0f},     // 3.75 % black
        {400, 0, 25, 0.0f, 25.0f},     // 6.25 %
        {100, 0, 40, 0.0f, 25.0f},     // 40 %
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " rows, " << c.white << " white, " << c.black << " black");
        ASSERT_TRUE(load_png(ctx, rows_image(c.height, c.white, c.black), "ae_clip" + std::to_string(n++)));
        const AutoEnhanceResult r = enhance(ctx);
        EXPECT_FLOAT_EQ(r.slots[3], c.highlights);
        EXPECT_FLOAT_EQ(r.slots[4], c.shadows);
        const float p_hi = static_cast<float>(c.white * 512) / static_cast<float>(c.height * 512);
        const float p_lo = static_cast<float>(c.black * 512) / static_cast<float>(c.height * 512);
        const Expected e = expected_from(0.0f, p_hi, p_lo, 0.0f);
        EXPECT_EQ(r.slots[3], e.highlights);
        EXPECT_EQ(r.slots[4], e.shadows);
        expect_fixed_slots(r);
    }
}

// Contrast and noise reduction against measurements made here from the pixels.
TEST(AutoEnhance, SpreadAndDetail) {
    Context ctx;
    cv::RNG rng(1234);
    struct Case {
        int base, spread;  // grey base +- spread, uniform noise
    } cases[] = {{128, 11}, {128, 14}, {100, 2}, {128, 127}, {40, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.base << " +- " << c.spread);
        cv::Mat img(64, 512, CV_8UC3);
        for (int y = 0; y < img.rows; ++y)
            for (int x = 0; x < img.cols; ++x) {
                const int v = std::min(255, std::max(0, c.base + rng.uniform(-c.spread, c.spread + 1)));
                img.at<cv::Vec3b>(y, x) = cv::Vec3b(v, v, v);
            }
        set_working(ctx, img);

        // Luminance and its histogram.
        cv::Mat lum(img.size(), CV_64F);
        uint32_t hist[256] = {};
        for (int y = 0; y < img.rows; ++y)
            for (int x = 0; x < img.cols; ++x) {
                const float v = img.at<cv::Vec3b>(y, x)[0] * 257.0f / 65535.0f;
                const float l = (0.7152f * v + 0.2126f * v) + 0.0722f * v;
                lum.at<double>(y, x) = l;
                int bin = static_cast<int>(l * 255.0f + 0.5f);
                hist[std::min(bin, 255)]++;
            }
        double s0 = 0, s1 = 0, s2 = 0;
        for (int i = 0; i < 256; ++i) {
            s0 += hist[i];
            s1 += hist[i] * (i / 255.0);
            s2 += hist[i] * (i / 255.0) * (i / 255.0);
        }
        const double mean = s1 / s0;
        const float sigma = static_cast<float>(std::sqrt(std::max(0.0, s2 / s0 - mean * mean)));

        // 3 x 3 Laplacian with mirrored borders (excluding the edge pixel), and its spread.
        auto at = [&](int y, int x) {
            if (x < 0) x = -x;
            if (y < 0) y = -y;
            if (x >= lum.cols) x = 2 * lum.cols - 2 - x;
            if (y >= lum.rows) y = 2 * lum.rows - 2 - y;
            return lum.at<double>(y, x);
        };
        double l1 = 0, l2 = 0;
        const double count = static_cast<double>(lum.total());
        for (int y = 0; y < lum.rows; ++y)
            for (int x = 0; x < lum.cols; ++x) {
                const double d = at(y - 1, x) + at(y + 1, x) + at(y, x - 1) + at(y, x + 1) - 4 * at(y, x);
                l1 += d;
                l2 += d * d;
            }
        const float sigma_detail = static_cast<float>(std::sqrt(l2 / count - (l1 / count) * (l1 / count)));
        const float p_hi = hist[255] / static_cast<float>(s0), p_lo = hist[0] / static_cast<float>(s0);
        const Expected e = expected_from(sigma, p_hi, p_lo, sigma_detail);

        const AutoEnhanceResult r = enhance(ctx);
        EXPECT_NEAR(r.slots[2], e.contrast, 1e-3f) << "sigma " << sigma;
        EXPECT_NEAR(r.slots[3], e.highlights, 1e-4f);
        EXPECT_NEAR(r.slots[4], e.shadows, 1e-4f);
        EXPECT_NEAR(r.slots[14], e.noise, 1e-2f) << "sigma_detail " << sigma_detail;
        expect_fixed_slots(r);
    }
}

TEST(AutoEnhance, ContrastRange) {
    Context ctx;
    // Half black, half white: sigma 0.5, contrast at its floor -20.
    cv::Mat half = grey(512, 64, 255);
    half(cv::Rect(0, 0, 256, 64)).setTo(cv::Scalar::all(0));
    set_working(ctx, half);
    AutoEnhanceResult r = enhance(ctx);
    EXPECT_EQ(r.slots[2], -20.0f);
    EXPECT_EQ(r.slots[3], -40.0f);
    EXPECT_EQ(r.slots[4], 25.0f);
    EXPECT_EQ(r.slots[0], 1.0f);  // lower median black
    // Two greys 0.15 apart around the middle give sigma 0.075: contrast 7.5.
    cv::Mat two = grey(512, 64, 147);
    two(cv::Rect(0, 0, 256, 64)).setTo(cv::Scalar::all(109));
    set_working(ctx, two);
    r = enhance(ctx);
    const float sigma = 19.0f / 255.0f;
    EXPECT_NEAR(r.slots[2], (0.15f - sigma) / 0.15f * 15.0f, 1e-4f);
}

TEST(AutoEnhance, ReadsLoadedImageNotSettings) {
    Context ctx;
    ASSERT_TRUE(load_png(ctx, rows_image(100, 2, 5), "ae_settings"));
    const AutoEnhanceResult before = enhance(ctx);
    vantorix_set_exposure(ctx, -2.0f);
    vantorix_set_contrast(ctx, 80.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    const AutoEnhanceResult after = enhance(ctx);
    EXPECT_EQ(std::memcmp(before.slots, after.slots, sizeof before.slots), 0);
    EXPECT_EQ(ctx.ctx->adjustments.exposure, -2.0f);
    EXPECT_EQ(ctx.ctx->adjustments.temperature, 5500.0f);
    // raw.image wins over working.
    ctx.ctx->raw.image = vantorix::ImageBuffer(grey(16, 16, 128));
    EXPECT_EQ(enhance(ctx).slots[3], 0.0f);
}

TEST(AutoEnhance, ExtremeAspectRatios) {
    Context ctx;
    set_working(ctx, grey(3000, 1, 128));  // analysis 512 x 1
    AutoEnhanceResult r = enhance(ctx);
    EXPECT_EQ(r.slots[0], exposure_for_bin(128));
    EXPECT_EQ(r.slots[14], 20.0f);
    set_working(ctx, grey(1, 3000, 128));  // analysis 512 x 4096
    r = enhance(ctx);
    EXPECT_EQ(r.slots[0], exposure_for_bin(128));
    set_working(ctx, grey(1, 1, 128));
    r = enhance(ctx);
    EXPECT_EQ(r.slots[2], 15.0f);
}

TEST(AutoWhiteBalance, AlwaysNeutral) {
    Context ctx;
    float t = -1, tint = -1;
    cv::Mat warm(48, 64, CV_8UC3, cv::Scalar(40, 120, 230));  // BGR: orange
    ASSERT_TRUE(load_png(ctx, warm, "awb_warm"));
    ASSERT_EQ(vantorix_auto_white_balance(ctx, &t, &tint), 0);
    EXPECT_EQ(t, 6500.0f);
    EXPECT_EQ(tint, 0.0f);
    t = tint = -1;
    ASSERT_TRUE(load_png(ctx, grey(10, 10, 0), "awb_black"));
    ASSERT_EQ(vantorix_auto_white_balance(ctx, &t, &tint), 0);
    EXPECT_EQ(t, 6500.0f);
    EXPECT_EQ(tint, 0.0f);
    EXPECT_EQ(ctx.ctx->adjustments.temperature, 5500.0f);
}

TEST(AutoEnhance, Failures) {
    AutoEnhanceResult r;
    for (float& s : r.slots) s = 3.0f;
    float t = 1.0f, tint = 2.0f;
    EXPECT_EQ(vantorix_auto_enhance(nullptr, &r), -1);
    EXPECT_EQ(vantorix_auto_white_balance(nullptr, &t, &tint), -1);
    Context ctx;
    EXPECT_EQ(vantorix_auto_enhance(ctx, nullptr), -1);
    EXPECT_EQ(vantorix_auto_white_balance(ctx, nullptr, &tint), -1);
    EXPECT_EQ(vantorix_auto_white_balance(ctx, &t, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_EQ(vantorix_auto_enhance(ctx, &r), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    vantorix_set_exposure(ctx, 0.0f);
    EXPECT_EQ(vantorix_auto_white_balance(ctx, &t, &tint), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    for (float s : r.slots) EXPECT_EQ(s, 3.0f);
    EXPECT_EQ(t, 1.0f);
    EXPECT_EQ(tint, 2.0f);
    // The analysis itself writes nothing for an empty context.
    vantorix::analyze_enhance(ctx, r);
    vantorix::analyze_enhance(nullptr, r);
    for (float s : r.slots) EXPECT_EQ(s, 3.0f);
}
