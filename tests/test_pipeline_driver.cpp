// The development driver: float round trip, brightness, contrast, when the
// pipeline runs and which size is reported.
#include <cmath>
#include <cstring>
#include <opencv2/imgcodecs.hpp>

#include "engine/context.h"
#include "output/histogram.h"
#include "pipeline/pipeline.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::temp_path;

namespace {

cv::Mat grey_image(float v) { return cv::Mat(2, 3, CV_32FC4, cv::Scalar(v, v, v, 1.0f)); }

// Loads a 16-bit TIFF holding every value 0..65535 once (256 x 256, R = G = B).
std::string ramp_tiff() {
    const std::string p = temp_path("ramp16.tif");
    cv::Mat m(256, 256, CV_16UC3);
    for (int i = 0; i < 65536; ++i) m.at<cv::Vec<uint16_t, 3>>(i / 256, i % 256) = cv::Vec<uint16_t, 3>::all(uint16_t(i));
    cv::imwrite(p, m);
    return p;
}

void neutral_white_balance(EngineContext* ctx) { vantorix_set_temperature(ctx, 6500.0f); }

}  // namespace

TEST(Driver, BrightnessExponent) {
    const struct {
        float brightness;
        float exponent;
    } cases[] = {{100.0f, 1.0f / 1.5f}, {-100.0f, 2.0f}, {-200.0f, 10.0f}, {-300.0f, 0.1f}, {50.0f, 1.0f / 1.25f}};
    for (const auto& c : cases) {
        vantorix::Adjustments adj;
        adj.brightness = c.brightness;
        cv::Mat img = grey_image(0.5f);
        vantorix::apply_brightness(img, adj);
        const cv::Vec4f p = img.at<cv::Vec4f>(1, 2);
        EXPECT_NEAR(p[0], std::pow(0.5f, c.exponent), 2e-7f) << c.brightness;
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[3], 1.0f);  // alpha untouched
    }
    vantorix::Adjustments adj;
    adj.brightness = 100.0f;
    cv::Mat img(1, 2, CV_32FC4, cv::Scalar(0.0f, 1.0f, 0.0f, 0.25f));
    vantorix::apply_brightness(img, adj);
    // 1 stays 1; 0 stays below anything a 16-bit sample can hold (the library's pow).
    EXPECT_EQ(img.at<cv::Vec4f>(0, 0)[1], 1.0f);
    EXPECT_LT(img.at<cv::Vec4f>(0, 0)[0], 1e-20f);
    EXPECT_EQ(img.at<cv::Vec4f>(0, 0)[3], 0.25f);
    adj.brightness = NAN;
    cv::Mat same = grey_image(0.3f);
    vantorix::apply_brightness(same, adj);
    EXPECT_EQ(same.at<cv::Vec4f>(0, 0)[0], 0.3f);
}

TEST(Driver, ContrastCurve) {
    auto reference = [](float v, float contrast) {
        const float k = std::max(contrast / 100.0f * 0.8f + 1.0f, 0.2f);
        const float d = (v - 0.5f) * k;
        const float r = d / (std::fabs(d) * 0.4f + 1.0f) + 0.5f;
        return r < 0.0f ? 0.0f : std::min(r, 1.0f);
    };
    for (float contrast : {1.0f, 50.0f, 100.0f, -60.0f, 400.0f}) {
        vantorix::Adjustments adj;
        adj.contrast = contrast;
        cv::Mat img(1, 3, CV_32FC4);
        img.at<cv::Vec4f>(0, 0) = {0.0f, 0.25f, 1.0f, 0.5f};
        img.at<cv::Vec4f>(0, 1) = {0.5f, 0.75f, 0.9f, 1.0f};
        img.at<cv::Vec4f>(0, 2) = {1.5f, -0.2f, 0.1f, 1.0f};
        const cv::Mat before = img.clone();
        vantorix::apply_contrast(img, adj);
        for (int x = 0; x < 3; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(img.at<cv::Vec4f>(0, x)[c], reference(before.at<cv::Vec4f>(0, x)[c], contrast));
            EXPECT_EQ(img.at<cv::Vec4f>(0, x)[3], before.at<cv::Vec4f>(0, x)[3]);
        }
    }
    vantorix::Adjustments adj;
    adj.contrast = 1.0f;
    cv::Mat img(1, 1, CV_32FC4, cv::Scalar(1.0f, 0.0f, 0.5f, 1.0f));
    vantorix::apply_contrast(img, adj);
    EXPECT_NEAR(img.at<cv::Vec4f>(0, 0)[0], 0.919f, 0.001f);
    EXPECT_NEAR(img.at<cv::Vec4f>(0, 0)[1], 0.081f, 0.001f);
    EXPECT_EQ(img.at<cv::Vec4f>(0, 0)[2], 0.5f);
    // Strongly negative contrast bottoms out at k = 0.2.
    cv::Mat a = grey_image(0.9f), b = grey_image(0.9f);
    adj.contrast = -100.0f;
    vantorix::apply_contrast(a, adj);
    adj.contrast = -500.0f;
    vantorix::apply_contrast(b, adj);
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0);
}

TEST(Driver, NeutralRunReturnsEverySampleUnchanged) {
    const std::string p = ramp_tiff();
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    neutral_white_balance(ctx);
    ASSERT_EQ(vantorix_process(ctx), 0);
    const cv::Mat& in = ctx.ctx->pipeline.working.mat;
    const cv::Mat& out = ctx.ctx->pipeline.processed.mat;
    ASSERT_EQ(out.type(), CV_16UC4);
    EXPECT_EQ(cv::norm(in, out, cv::NORM_INF), 0.0);
}

TEST(Driver, SettingsNeverAccumulateAndSizeFollowsTheDevelopment) {
    const std::string p = temp_path("driver.png");
    cv::imwrite(p, cv::Mat(10, 16, CV_8UC3, cv::Scalar(60, 120, 180)));
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    neutral_white_balance(ctx);
    vantorix_set_brightness(ctx, 60.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    const cv::Mat first = ctx.ctx->pipeline.processed.mat.clone();
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(cv::norm(first, ctx.ctx->pipeline.processed.mat, cv::NORM_INF), 0.0);
    EXPECT_TRUE(ctx.ctx->processed_valid);
    // A stale processed image of another size is not reported after a reset.
    ctx.ctx->pipeline.processed = vantorix::ImageBuffer::adopt(cv::Mat(3, 4, CV_16UC4, cv::Scalar::all(0)));
    EXPECT_EQ(vantorix_get_width(ctx), 4);
    vantorix_reset_adjustments(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 16);
    EXPECT_EQ(vantorix_get_height(ctx), 10);
}

TEST(Preview, BufferSizeBytesAndChannelOrder) {
    const std::string p = temp_path("preview.png");
    cv::Mat bgr(3, 5, CV_8UC3, cv::Scalar(30, 90, 250));  // red 250, green 90, blue 30
    cv::imwrite(p, bgr);
    Context ctx;
    std::vector<uint8_t> buf(3 * 5 * 4, 0xEE);
    EXPECT_EQ(vantorix_get_preview(ctx, buf.data(), int(buf.size())), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    neutral_white_balance(ctx);
    EXPECT_EQ(vantorix_get_preview(ctx, buf.data(), int(buf.size()) - 1), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "output buffer too small");
    EXPECT_EQ(buf[0], 0xEE);  // not written
    EXPECT_TRUE(ctx.ctx->processed_valid);
    ASSERT_EQ(vantorix_get_preview(ctx, buf.data(), int(buf.size())), 0);
    for (size_t i = 0; i < buf.size(); i += 4) {
        EXPECT_EQ(buf[i], 250);
        EXPECT_EQ(buf[i + 1], 90);
        EXPECT_EQ(buf[i + 2], 30);
        EXPECT_EQ(buf[i + 3], 255);
    }
    // bg_blur without a segmentation leaves the preview plain.
    vantorix_set_bg_blur(ctx, 80.0f);
    std::vector<uint8_t> again(buf.size());
    ASSERT_EQ(vantorix_get_preview(ctx, again.data(), int(again.size())), 0);
    EXPECT_EQ(again, buf);
}

TEST(Histogram, BinsAndCounts) {
    uint32_t r[256], g[256], b[256], l[256];
    cv::Mat img(1, 4, CV_32FC4);
    img.at<cv::Vec4f>(0, 0) = {1.0f, 0.998f, 0.0f, 1.0f};
    img.at<cv::Vec4f>(0, 1) = {-0.5f, 2.0f, NAN, 1.0f};
    img.at<cv::Vec4f>(0, 2) = {0.5f / 255.0f, 0.49f / 255.0f, 254.5f / 255.0f, 1.0f};
    img.at<cv::Vec4f>(0, 3) = {0.2f, 0.4f, 0.6f, 1.0f};
    vantorix::compute_histogram(img, r, g, b, l);
    EXPECT_EQ(r[255], 1u);
    EXPECT_EQ(g[254], 1u);
    EXPECT_EQ(b[0], 2u);  // 0 and NaN
    EXPECT_EQ(r[0], 1u);  // negative
    EXPECT_EQ(g[255], 1u);
    EXPECT_EQ(r[1], 1u);
    EXPECT_EQ(g[0], 1u);
    EXPECT_EQ(b[255], 1u);
    const float y = (0.7152f * 0.4f + 0.2126f * 0.2f) + 0.0722f * 0.6f;
    EXPECT_EQ(l[static_cast<int>(y * 255.0f + 0.5f)], 1u);
    uint64_t total = 0;
    for (int i = 0; i < 256; ++i) total += l[i];
    EXPECT_EQ(total, 4u);
}

TEST(Histogram, DescribesTheStoredDevelopment) {
    const std::string p = temp_path("hist.tif");
    cv::imwrite(p, cv::Mat(4, 6, CV_16UC3, cv::Scalar::all(32896)));
    Context ctx;
    uint32_t r[256], g[256], b[256], l[256];
    EXPECT_EQ(vantorix_get_histogram(ctx, r, g, b, l), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    neutral_white_balance(ctx);
    ASSERT_EQ(vantorix_get_histogram(ctx, r, g, b, l), 0);
    EXPECT_TRUE(ctx.ctx->processed_valid);
    for (uint32_t* h : {r, g, b, l}) EXPECT_EQ(h[128], 24u);
    // A changed setting shows only after the next development.
    vantorix_set_brightness(ctx, -100.0f);
    ASSERT_EQ(vantorix_get_histogram(ctx, r, g, b, l), 0);
    EXPECT_EQ(r[128], 24u);
    ASSERT_EQ(vantorix_process(ctx), 0);
    ASSERT_EQ(vantorix_get_histogram(ctx, r, g, b, l), 0);
    EXPECT_EQ(r[128], 0u);
    EXPECT_EQ(r[64], 24u);  // 0.50196^2 = 0.25196 -> bin 64
}

TEST(Driver, RowWiseBrightnessEqualsWholePlanePow) {
    cv::RNG rng(7);
    for (int w : {1, 7, 333, 1025}) {
        for (float brightness : {100.0f, -100.0f, 37.5f, -250.0f}) {
            cv::Mat img(5, w, CV_32FC4);
            rng.fill(img, cv::RNG::UNIFORM, -0.2, 1.5);
            // Reference: split, cv::pow on each colour plane, merge.
            const float g = std::max(std::min(1.0f / (brightness / 100.0f * 0.5f + 1.0f), 10.0f), 0.1f);
            std::vector<cv::Mat> planes;
            cv::split(img, planes);
            for (int c = 0; c < 3; ++c) cv::pow(planes[c], static_cast<double>(g), planes[c]);
            cv::Mat expected;
            cv::merge(planes, expected);
            vantorix::Adjustments adj;
            adj.brightness = brightness;
            vantorix::apply_brightness(img, adj);
            ASSERT_EQ(std::memcmp(img.data, expected.data, img.total() * img.elemSize()), 0) << w << " " << brightness;
        }
    }
}

TEST(Driver, ReusedBuffersNeverLeakOneDevelopmentIntoAnother) {
    cv::Mat a(20, 30, CV_8UC3), b(25, 17, CV_8UC3);
    cv::randu(a, 0, 256);
    cv::randu(b, 0, 256);
    const std::string pa = temp_path("reuse_a.png"), pb = temp_path("reuse_b.png"), pa2 = temp_path("reuse_a2.png");
    cv::imwrite(pa, a);
    cv::imwrite(pb, b);
    cv::imwrite(pa2, 255 - a);  // same size as a, other content
    Context ctx;
    auto develop = [&](const std::string& path) {
        EXPECT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
        vantorix_set_contrast(ctx, 30.0f);
        cv::Mat out(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC4);
        EXPECT_EQ(vantorix_get_preview(ctx, out.data, int(out.total() * 4)), 0);
        return out;
    };
    const cv::Mat first = develop(pa);
    const cv::Mat other = develop(pb);
    const cv::Mat inverted = develop(pa2);
    const cv::Mat again = develop(pa);
    EXPECT_EQ(other.size(), cv::Size(17, 25));
    EXPECT_EQ(cv::norm(first, again, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(first, inverted, cv::NORM_INF), 0.0);
    Context fresh;
    ASSERT_EQ(vantorix_load_arw(fresh, pa2.c_str(), 1), 0);
    vantorix_set_contrast(fresh, 30.0f);
    cv::Mat expected(20, 30, CV_8UC4);
    ASSERT_EQ(vantorix_get_preview(fresh, expected.data, int(expected.total() * 4)), 0);
    EXPECT_EQ(cv::norm(inverted, expected, cv::NORM_INF), 0.0);
}
