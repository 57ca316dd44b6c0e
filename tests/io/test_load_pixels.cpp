// vantorix_load_pixels: pixels in memory give the working image a file gives.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "support/test_support.h"

// 8-bit RGB(A) arrays, packed or with row padding (in bytes), small or reduced to 4096,
// against the same RGB pixels written as PNG and loaded from the file.
TEST(LoadPixels, EightBitArrayMatchesPngFile) {
    const struct { int w, h, channels, pad; } rows[] = {{37, 23, 3, 0}, {37, 23, 4, 0}, {29, 11, 3, 5}, {19, 7, 4, 12},
                                                        {4100, 30, 3, 0}, {20, 5000, 4, 8}, {8192, 6, 4, 0}};
    const std::string png = testsupport::temp_path("pixels.png");
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.w << "x" << r.h << "x" << r.channels << " pad " << r.pad);
        cv::Mat padded(r.h, r.w * r.channels + r.pad, CV_8U), bgr;
        cv::randu(padded, 0, 256);
        const cv::Mat rgb = padded.colRange(0, r.w * r.channels).reshape(r.channels);
        cv::cvtColor(rgb, bgr, r.channels == 4 ? cv::COLOR_RGBA2BGR : cv::COLOR_RGB2BGR);
        ASSERT_TRUE(cv::imwrite(png, bgr));
        testsupport::Context file, mem;
        ASSERT_EQ(vantorix_load_arw(file, png.c_str(), 1), 0);
        vantorix_set_exposure(mem, 2.0f);
        ASSERT_EQ(vantorix_load_pixels(mem, padded.data, r.w, r.h, r.channels, 8, r.pad ? int(padded.step) : 0), 0);
        EXPECT_TRUE(testsupport::identical(file.ctx->pipeline.working.mat, mem.ctx->pipeline.working.mat));
        EXPECT_EQ(mem.ctx->adjustments.exposure, 0.0f);  // settings reset as on a file load
    }
}

// 16-bit samples keep their full precision (alpha replaced by 65535) and there is no file to read EXIF from;
// unusable layouts then fail with their reason and keep that image and the settings.
TEST(LoadPixels, SixteenBitSamplesKeptBadLayoutsRefused) {
    const uint16_t px[2 * 4] = {0, 1, 65535, 40000, 2, 3, 258, 7};  // 2x1 RGBA
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_pixels(ctx, px, 2, 1, 4, 16, 0), 0);
    const cv::Mat expected = (cv::Mat_<cv::Vec4w>(1, 2) << cv::Vec4w(0, 1, 65535, 65535), cv::Vec4w(2, 3, 258, 65535));
    EXPECT_TRUE(testsupport::identical(ctx.ctx->pipeline.working.mat, expected));
    ExifSummary rec;
    EXPECT_EQ(vantorix_get_exif(ctx, &rec), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no file loaded");
    vantorix_set_contrast(ctx, 30.0f);
    const struct { int w, h, channels, bits, stride; const char* reason; } rows[] = {
        {0, 4, 3, 8, 0, "width and height must be at least 1"}, {4, -1, 3, 8, 0, "width and height must be at least 1"},
        {70000, 1, 3, 8, 0, "width and height must be at most 65535"},
        {4, 4, 2, 8, 0, "channels must be 3 (RGB) or 4 (RGBA)"}, {4, 4, 3, 12, 0, "bits_per_sample must be 8 or 16"},
        {4, 4, 3, 8, 11, "stride_bytes is smaller than one row of pixels"},
        {4, 4, 3, 16, 25, "stride_bytes must be even for 16-bit samples"}};
    std::vector<uint8_t> buffer(64 * 4 * 2, 0);
    for (const auto& r : rows) {
        EXPECT_EQ(vantorix_load_pixels(ctx, buffer.data(), r.w, r.h, r.channels, r.bits, r.stride), -1);
        EXPECT_EQ(std::string(vantorix_last_error(ctx)), std::string("invalid pixel layout: ") + r.reason);
    }
    EXPECT_EQ(vantorix_get_width(ctx), 2);
    EXPECT_EQ(ctx.ctx->adjustments.contrast, 30.0f);
    EXPECT_EQ(vantorix_load_pixels(nullptr, buffer.data(), 4, 4, 3, 8, 0), -1);
    EXPECT_EQ(vantorix_load_pixels(ctx, nullptr, 4, 4, 3, 8, 0), -1);
}
