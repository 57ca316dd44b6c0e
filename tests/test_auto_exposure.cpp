#include <cmath>
#include <cstring>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "test_auto_helpers.h"

using autotest::grey;
using autotest::load_png;
using autotest::set_working;
using testsupport::Context;

namespace {

// The exposure for a median at bin i, from the formula: 0.35 * log2(0.42 / m)
// with m = max(i / 255, 0.001), clamped to [-1, 1].
float reference_exposure_for_bin(int bin) {
    float m = static_cast<float>(bin) / 255.0f;
    if (m < 0.001f) m = 0.001f;
    float e = log2f(0.42f / m) * 0.35f;
    if (e > 1.0f) e = 1.0f;
    if (e < -1.0f) e = -1.0f;
    return e;
}

float auto_exposure(EngineContext* ctx) {
    float e = -123.0f;
    EXPECT_EQ(vantorix_auto_exposure(ctx, &e), 0) << vantorix_last_error(ctx);
    return e;
}

}  // namespace

TEST(AutoExposure, HistogramEstimator) {
    uint32_t h[256] = {};
    // Empty histogram: median 0.5.
    EXPECT_NEAR(vantorix::exposure_from_histogram(h), -0.08804f, 1e-5f);
    EXPECT_FLOAT_EQ(vantorix::exposure_from_histogram(h), log2f(0.42f / 0.5f) * 0.35f);
    // Every bin as the only occupied one.
    for (int i = 0; i < 256; ++i) {
        std::memset(h, 0, sizeof h);
        h[i] = 1000;
        EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(i)) << "bin " << i;
    }
    // Lower median: 32768 at bin 10 and 32768 at bin 200 -> bin 10.
    std::memset(h, 0, sizeof h);
    h[10] = 32768;
    h[200] = 32768;
    EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(10));
    // One more at the top moves the target to trunc(65537 * 0.5) = 32768: still bin 10.
    h[200] = 32769;
    EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(10));
    h[10] = 32767;
    h[200] = 32770;
    EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(200));
    // N = 3: target 1, reached at the first occupied bin.
    std::memset(h, 0, sizeof h);
    h[60] = 1;
    h[250] = 2;
    EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(60));
    // Sample values: bins 14 and below give +1, bin 255 gives -0.43804.
    EXPECT_EQ(reference_exposure_for_bin(14), 1.0f);
    EXPECT_LT(reference_exposure_for_bin(15), 1.0f);
    EXPECT_NEAR(reference_exposure_for_bin(255), -0.43804f, 1e-5f);
    // Huge counts: the sums are 64-bit (a 32-bit total would wrap and put
    // the median at bin 30).
    std::memset(h, 0, sizeof h);
    h[30] = 0xffffffffu;
    h[31] = 0xffffffffu;
    h[220] = 0xffffffffu;
    EXPECT_EQ(vantorix::exposure_from_histogram(h), reference_exposure_for_bin(31));
}

TEST(AutoExposure, LuminanceBins) {
    cv::Mat lum(1, 6, CV_32F);
    const float values[6] = {0.0f, 0.0019f, 0.003f, 0.998f, 1.0f, 1.5f};
    std::memcpy(lum.ptr<float>(0), values, sizeof values);
    uint32_t h[256];
    std::memset(h, 0xff, sizeof h);
    vantorix::luminance_histogram(lum, h);
    EXPECT_EQ(h[0], 2u);
    EXPECT_EQ(h[1], 1u);
    EXPECT_EQ(h[254], 1u);
    EXPECT_EQ(h[255], 2u);
    uint64_t total = 0;
    for (int i = 0; i < 256; ++i) total += h[i];
    EXPECT_EQ(total, 6u);
}

TEST(AutoExposure, KnownImages) {
    Context ctx;
    // Grey 107 (107/255 = 0.41961): +0.00047.
    ASSERT_TRUE(load_png(ctx, grey(64, 48, 107), "ae_grey107"));
    const float mid = auto_exposure(ctx);
    EXPECT_NEAR(mid, 0.00047f, 5e-6f);
    EXPECT_EQ(mid, reference_exposure_for_bin(107));

    ASSERT_TRUE(load_png(ctx, grey(64, 48, 0), "ae_black"));
    EXPECT_EQ(auto_exposure(ctx), 1.0f);

    ASSERT_TRUE(load_png(ctx, grey(64, 48, 255), "ae_white"));
    EXPECT_NEAR(auto_exposure(ctx), -0.43804f, 1e-5f);
    EXPECT_EQ(auto_exposure(ctx), reference_exposure_for_bin(255));

    // Exactly half black, half white at 256 x 256: the lower median is black.
    cv::Mat half = grey(256, 256, 255);
    half(cv::Rect(0, 0, 128, 256)).setTo(cv::Scalar::all(0));
    ASSERT_TRUE(load_png(ctx, half, "ae_half"));
    EXPECT_EQ(auto_exposure(ctx), 1.0f);

    // A darker photograph: median bin 64 (the rest is brighter).
    cv::Mat dark = grey(256, 256, 64);
    dark(cv::Rect(0, 0, 256, 100)).setTo(cv::Scalar::all(200));
    ASSERT_TRUE(load_png(ctx, dark, "ae_dark"));
    EXPECT_EQ(auto_exposure(ctx), reference_exposure_for_bin(64));
}

TEST(AutoExposure, MeasuredOnA256Square) {
    Context ctx;
    // 4000 x 10: the left 40 % black, the rest white. Measured at 256 x 256
    // (aspect not kept) the black share stays 40 %, so the median is white.
    cv::Mat wide = grey(4000, 10, 255);
    wide(cv::Rect(0, 0, 1600, 10)).setTo(cv::Scalar::all(0));
    set_working(ctx, wide);
    EXPECT_EQ(auto_exposure(ctx), reference_exposure_for_bin(255));
    wide(cv::Rect(0, 0, 2400, 10)).setTo(cv::Scalar::all(0));
    set_working(ctx, wide);
    EXPECT_EQ(auto_exposure(ctx), 1.0f);
    // A one-pixel image works too.
    set_working(ctx, grey(1, 1, 107));
    EXPECT_EQ(auto_exposure(ctx), reference_exposure_for_bin(107));
}

TEST(AutoExposure, ReadsLoadedImageNotSettings) {
    Context ctx;
    ASSERT_TRUE(load_png(ctx, grey(32, 32, 64), "ae_settings"));
    const float before = auto_exposure(ctx);
    vantorix_set_exposure(ctx, 2.0f);
    vantorix_set_brightness(ctx, 50.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(auto_exposure(ctx), before);
    EXPECT_EQ(ctx.ctx->adjustments.exposure, 2.0f);  // the tool never writes settings
    // The RAW development result is preferred over the working image.
    ctx.ctx->raw.image = vantorix::ImageBuffer(grey(16, 16, 255));
    EXPECT_EQ(auto_exposure(ctx), reference_exposure_for_bin(255));
}

TEST(AutoExposure, Failures) {
    float e = 7.0f;
    EXPECT_EQ(vantorix_auto_exposure(nullptr, &e), -1);
    Context ctx;
    EXPECT_EQ(vantorix_auto_exposure(ctx, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_EQ(vantorix_auto_exposure(ctx, &e), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(e, 7.0f);
    ASSERT_TRUE(load_png(ctx, grey(8, 8, 0), "ae_unload"));
    vantorix_unload(ctx);
    EXPECT_EQ(vantorix_auto_exposure(ctx, &e), -1);
    EXPECT_EQ(e, 7.0f);
}
