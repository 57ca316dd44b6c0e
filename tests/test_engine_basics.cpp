// The 16-bit image buffer, the settings record and its setters.
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

#include "engine/context.h"
#include "engine/image_buffer.h"
#include "support/test_support.h"

using testsupport::Context;
using vantorix::ImageBuffer;

TEST(ImageBuffer, ConstructionWidensAndAddsAlpha) {
    cv::Mat src8(1, 3, CV_8UC3);
    src8.at<cv::Vec3b>(0, 0) = {255, 128, 0};
    src8.at<cv::Vec3b>(0, 1) = {1, 2, 3};
    src8.at<cv::Vec3b>(0, 2) = {254, 127, 64};
    ImageBuffer b(src8);
    ASSERT_EQ(b.mat.type(), CV_16UC4);
    for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ((b.mat.at<cv::Vec<uint16_t, 4>>(0, x)[c]), src8.at<cv::Vec3b>(0, x)[c] * 257);
    EXPECT_EQ((b.mat.at<cv::Vec<uint16_t, 4>>(0, 0)[3]), 65535);

    cv::Mat src4(1, 1, CV_8UC4, cv::Scalar(10, 20, 30, 40));
    EXPECT_EQ((ImageBuffer(src4).mat.at<cv::Vec<uint16_t, 4>>(0, 0)), (cv::Vec<uint16_t, 4>(2570, 5140, 7710, 10280)));

    cv::Mat src16(2, 2, CV_16UC3, cv::Scalar(1, 2, 65535));
    const auto p = ImageBuffer(src16).mat.at<cv::Vec<uint16_t, 4>>(1, 1);
    EXPECT_EQ(p, (cv::Vec<uint16_t, 4>(1, 2, 65535, 65535)));

    cv::Mat rgba16(2, 2, CV_16UC4, cv::Scalar(5, 6, 7, 8));
    ImageBuffer copy(rgba16);
    EXPECT_NE(copy.mat.data, rgba16.data);  // deep copy
    EXPECT_TRUE(ImageBuffer(cv::Mat()).empty());
}

TEST(ImageBuffer, UnsupportedTypesThrowWithMessage) {
    for (int type : {CV_32FC3, CV_8UC1, CV_16UC1, CV_32FC4, CV_8UC2}) {
        try {
            ImageBuffer b(cv::Mat(2, 2, type, cv::Scalar::all(0)));
            FAIL() << "type " << type << " accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "ImageBuffer: unsupported cv::Mat type");
        }
    }
}

TEST(ImageBuffer, Conversions) {
    cv::Mat m(1, 5, CV_16UC4);
    const uint16_t v[5] = {65535, 32896, 128, 129, 0};
    for (int x = 0; x < 5; ++x) m.at<cv::Vec<uint16_t, 4>>(0, x) = {v[x], v[x], v[x], 65535};
    ImageBuffer b = ImageBuffer::adopt(m);
    const cv::Mat e8 = b.to_8bit();
    ASSERT_EQ(e8.type(), CV_8UC4);
    const uint8_t want8[5] = {255, 128, 0, 1, 0};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(e8.at<cv::Vec4b>(0, x)[0], want8[x]) << x;
    const cv::Mat f = b.to_float();
    ASSERT_EQ(f.type(), CV_32FC4);
    EXPECT_EQ(f.at<cv::Vec4f>(0, 0)[0], 1.0f);
    EXPECT_EQ(f.at<cv::Vec4f>(0, 4)[0], 0.0f);
    EXPECT_EQ(f.at<cv::Vec4f>(0, 1)[0], 32896.0f * static_cast<float>(1.5259021896696422e-5));

    cv::Mat m43(3, 4, CV_16UC4);
    cv::randu(m43, 0, 65536);
    const cv::Mat rgb = ImageBuffer::adopt(m43).to_16bit_rgb();
    ASSERT_EQ(rgb.type(), CV_16UC3);
    ASSERT_EQ(rgb.size(), cv::Size(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ((rgb.at<cv::Vec<uint16_t, 3>>(y, x)[c]), (m43.at<cv::Vec<uint16_t, 4>>(y, x)[c]));
    EXPECT_TRUE(ImageBuffer().to_16bit_rgb().empty());
    EXPECT_TRUE(ImageBuffer().to_8bit().empty());
}

TEST(ImageBuffer, AnalysisSizes) {
    ImageBuffer b = ImageBuffer::adopt(cv::Mat(2000, 3000, CV_16UC4, cv::Scalar::all(1000)));
    const int h = vantorix::scaled_height(3000, 2000, 512);
    EXPECT_EQ(h, 341);
    const ImageBuffer r = b.resized(512, h, cv::INTER_LINEAR);
    EXPECT_EQ(r.mat.type(), CV_16UC4);
    EXPECT_EQ(r.mat.size(), cv::Size(512, 341));
    EXPECT_EQ(vantorix::scaled_height(1000, 600, 512), 307);
    EXPECT_EQ(vantorix::scaled_height(100000, 10, 512), 1);  // never zero
}

TEST(Settings, DefaultsAndResets) {
    Context ctx;
    const vantorix::Adjustments& a = ctx.ctx->adjustments;
    EXPECT_EQ(a.temperature, 5500.0f);
    EXPECT_EQ(a.sharpen_radius, 1.0f);
    EXPECT_EQ(a.vignette_midpoint, 50.0f);
    EXPECT_EQ(a.grain_size, 25.0f);
    for (const auto& curve : a.tone_curves) {
        ASSERT_EQ(curve.size(), 2u);
        EXPECT_EQ(curve[0].x, 0.0f);
        EXPECT_EQ(curve[1].y, 1.0f);
    }
    vantorix_set_exposure(ctx, 1000.0f);
    EXPECT_EQ(a.exposure, 1000.0f);  // stored unclamped
    vantorix_set_crop(ctx, 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(a.crop.h, 0.4f);
    vantorix_set_flip_h(ctx, 7);
    EXPECT_EQ(a.flip_h, 7);
    vantorix_set_sharpening_radius(ctx, 2.5f);
    EXPECT_EQ(a.sharpen_radius, 2.5f);
    const float pts[] = {0.0f, 0.1f, 0.8f, 0.5f, 0.3f, 0.9f};
    vantorix_set_tone_curve(ctx, 2, pts, 3);
    ASSERT_EQ(a.tone_curves[2].size(), 3u);
    EXPECT_EQ(a.tone_curves[2][1].x, 0.8f);  // host order kept
    EXPECT_EQ(a.tone_curves[2][2].x, 0.3f);
    vantorix_set_tone_curve(ctx, 2, pts, 1);  // too few points: unchanged
    vantorix_set_tone_curve(ctx, 4, pts, 3);
    vantorix_set_tone_curve(ctx, 1, nullptr, 3);
    EXPECT_EQ(a.tone_curves[2].size(), 3u);
    EXPECT_EQ(a.tone_curves[1].size(), 2u);
    vantorix_reset_tone_curve(ctx, 2);
    EXPECT_EQ(a.tone_curves[2].size(), 2u);

    vantorix_set_hsl(ctx, 8, 1, 2, 3);
    vantorix_set_hsl(ctx, -1, 1, 2, 3);
    for (const auto& band : a.hsl) EXPECT_EQ(band.hue, 0.0f);
    vantorix_set_hsl(ctx, 7, 1, 2, 3);
    EXPECT_EQ(a.hsl[7].luminance, 3.0f);

    vantorix_set_split_toning(ctx, 1, 200, 30, 77);
    EXPECT_EQ(a.split_shadow_hue, 200.0f);
    EXPECT_EQ(a.split_shadow_saturation, 30.0f);
    EXPECT_EQ(a.split_balance, 0.0f);
    vantorix_set_split_toning(ctx, 0, 40, 20, -10);
    EXPECT_EQ(a.split_highlight_hue, 40.0f);
    EXPECT_EQ(a.split_balance, -10.0f);

    vantorix_set_bg_blur(ctx, 150.0f);
    EXPECT_EQ(ctx.ctx->bg_blur, 100.0f);
    vantorix_set_bg_blur(ctx, -5.0f);
    EXPECT_EQ(ctx.ctx->bg_blur, 0.0f);
    vantorix_set_bg_blur(ctx, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(ctx.ctx->bg_blur, 100.0f);
    vantorix_set_bg_blur(ctx, 42.5f);

    ctx.ctx->processed_valid = true;
    vantorix_reset_adjustments(ctx);
    EXPECT_FALSE(ctx.ctx->processed_valid);
    EXPECT_EQ(a.exposure, 0.0f);
    EXPECT_EQ(a.sharpen_radius, 1.0f);
    EXPECT_EQ(a.crop.w, 0.0f);
    EXPECT_EQ(a.hsl[7].luminance, 0.0f);
    EXPECT_EQ(ctx.ctx->bg_blur, 42.5f);  // not a development setting
}

TEST(Settings, NullContextIsIgnoredEverywhere) {
    const float pts[] = {0, 0, 1, 1};
    vantorix_set_exposure(nullptr, 1);
    vantorix_set_flip_v(nullptr, 1);
    vantorix_set_crop(nullptr, 0, 0, 1, 1);
    vantorix_set_hsl(nullptr, 0, 1, 1, 1);
    vantorix_set_split_toning(nullptr, 0, 1, 1, 1);
    vantorix_set_tone_curve(nullptr, 0, pts, 2);
    vantorix_reset_tone_curve(nullptr, 0);
    vantorix_reset_adjustments(nullptr);
    vantorix_set_bg_blur(nullptr, 5);
    vantorix_unload(nullptr);
    uint8_t buf[16];
    uint32_t h[256];
    EXPECT_EQ(vantorix_get_preview(nullptr, buf, 16), -1);
    EXPECT_EQ(vantorix_get_histogram(nullptr, h, h, h, h), -1);
    EXPECT_EQ(vantorix_load_arw(nullptr, "x.jpg", 1), -1);
    EXPECT_EQ(vantorix_export_jpeg(nullptr, "x.jpg", 90, 0, 0), -1);
    EXPECT_EQ(vantorix_export_png(nullptr, "x.png", 8), -1);
    EXPECT_EQ(vantorix_export_tiff(nullptr, "x.tif"), -1);
    Context ctx;
    EXPECT_EQ(vantorix_load_arw(ctx, nullptr, 1), -1);
    EXPECT_EQ(vantorix_get_preview(ctx, nullptr, 16), -1);
    EXPECT_EQ(vantorix_get_histogram(ctx, h, nullptr, h, h), -1);
    EXPECT_EQ(vantorix_export_jpeg(ctx, nullptr, 90, 0, 0), -1);
    EXPECT_EQ(vantorix_export_png(ctx, nullptr, 8), -1);
    EXPECT_EQ(vantorix_export_tiff(ctx, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");  // null arguments store nothing
}
