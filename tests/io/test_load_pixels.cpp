// vantorix_load_pixels: pixels in memory give the working image a file gives.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "support/test_support.h"

using testsupport::Context;

namespace {

cv::Mat random_u8(int w, int h, int channels, uint64_t seed) {
    cv::Mat m(h, w, CV_8UC(channels));
    cv::RNG rng(seed);
    rng.fill(m, cv::RNG::UNIFORM, 0, 256);
    return m;
}

}  // namespace

// 8-bit RGB(A) arrays, packed or with row padding, small or reduced to 4096,
// against the same RGB pixels written as PNG and loaded from the file.
TEST(LoadPixels, EightBitArrayMatchesPngFile) {
    struct Row { int w, h, channels, pad; };
    const Row rows[] = {{37, 23, 3, 0}, {37, 23, 4, 0}, {29, 11, 3, 5}, {19, 7, 4, 12}, {4100, 30, 3, 0}, {20, 5000, 4, 8}, {8192, 6, 4, 0}};
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + "x" + std::to_string(r.channels));
        const cv::Mat packed = random_u8(r.w, r.h, r.channels, 1000 + n);
        cv::Mat padded(r.h, r.w * r.channels + r.pad, CV_8U, cv::Scalar(77));
        packed.reshape(1).copyTo(padded(cv::Rect(0, 0, r.w * r.channels, r.h)));
        cv::Mat bgr;
        cv::cvtColor(packed, bgr, r.channels == 4 ? cv::COLOR_RGBA2BGR : cv::COLOR_RGB2BGR);
        const std::string png = testsupport::temp_path("pixels_" + std::to_string(n++) + ".png");
        ASSERT_TRUE(cv::imwrite(png, bgr));

        Context from_file, from_memory;
        ASSERT_EQ(vantorix_load_arw(from_file, png.c_str(), 1), 0);
        vantorix_set_exposure(from_memory, 2.0f);
        ASSERT_EQ(vantorix_load_pixels(from_memory, padded.data, r.w, r.h, r.channels, 8,
                                       r.pad ? static_cast<int>(padded.step) : 0), 0)
            << vantorix_last_error(from_memory);
        EXPECT_TRUE(testsupport::identical(from_file.ctx->pipeline.working.mat, from_memory.ctx->pipeline.working.mat));
        EXPECT_EQ(from_memory.ctx->adjustments.exposure, 0.0f);  // settings reset as on a file load
        ExifSummary rec;
        EXPECT_EQ(vantorix_get_exif(from_memory, &rec), -1);
        EXPECT_STREQ(vantorix_last_error(from_memory), "no file loaded");
    }
}

// 16-bit samples keep their full precision; alpha is replaced by 65535.
TEST(LoadPixels, SixteenBitSamplesKept) {
    const uint16_t px[2 * 4] = {0, 1, 65535, 40000, 2, 3, 258, 7};  // 2x1 RGBA
    Context ctx;
    ASSERT_EQ(vantorix_load_pixels(ctx, px, 2, 1, 4, 16, 0), 0);
    const cv::Mat& w = ctx.ctx->pipeline.working.mat;
    ASSERT_EQ(w.type(), CV_16UC4);
    EXPECT_EQ(w.at<cv::Vec4w>(0, 0), cv::Vec4w(0, 1, 65535, 65535));
    EXPECT_EQ(w.at<cv::Vec4w>(0, 1), cv::Vec4w(2, 3, 258, 65535));
}

// Unusable layouts fail with their reason and keep the earlier image and settings.
TEST(LoadPixels, BadLayoutsKeepEarlierImage) {
    struct Row { int w, h, channels, bits, stride; const char* reason; };
    const Row rows[] = {
        {0, 4, 3, 8, 0, "width and height must be at least 1"},
        {4, -1, 3, 8, 0, "width and height must be at least 1"},
        {70000, 1, 3, 8, 0, "width and height must be at most 65535"},
        {4, 4, 2, 8, 0, "channels must be 3 (RGB) or 4 (RGBA)"},
        {4, 4, 3, 12, 0, "bits_per_sample must be 8 or 16"},
        {4, 4, 3, 8, 11, "stride_bytes is smaller than one row of pixels"},
        {4, 4, 3, 16, 25, "stride_bytes must be even for 16-bit samples"},
    };
    const cv::Mat image = random_u8(6, 5, 3, 7);
    Context ctx;
    ASSERT_EQ(vantorix_load_pixels(ctx, image.data, 6, 5, 3, 8, 0), 0);
    vantorix_set_contrast(ctx, 30.0f);
    std::vector<uint8_t> buffer(64 * 4 * 2, 0);
    for (const Row& r : rows) {
        EXPECT_EQ(vantorix_load_pixels(ctx, buffer.data(), r.w, r.h, r.channels, r.bits, r.stride), -1);
        EXPECT_EQ(std::string(vantorix_last_error(ctx)), std::string("invalid pixel layout: ") + r.reason);
        EXPECT_EQ(vantorix_get_width(ctx), 6);
        EXPECT_EQ(ctx.ctx->adjustments.contrast, 30.0f);
    }
    EXPECT_EQ(vantorix_load_pixels(nullptr, buffer.data(), 4, 4, 3, 8, 0), -1);
    EXPECT_EQ(vantorix_load_pixels(ctx, nullptr, 4, 4, 3, 8, 0), -1);
}
