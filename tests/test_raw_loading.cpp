// Camera RAW development through LibRaw, on DNG files the tests write and on
// real camera files.
#include <cmath>
#include <opencv2/imgcodecs.hpp>

#include "engine/context.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::DngOptions;

namespace {

// The sRGB transfer curve the RAW development applies, in 16-bit units (LibRaw
// builds it as a table, so results agree within a few units).
double srgb16(double linear16) {
    const double x = linear16 / 65535.0;
    const double y = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
    return y * 65535.0;
}

std::string write_test_dng(const std::string& name, const DngOptions& o) {
    const std::string path = testsupport::temp_path(name);
    EXPECT_TRUE(testsupport::write_dng(path, o));
    return path;
}

}  // namespace

TEST(RawLoading, FlatColourDevelopsThroughTheSrgbCurve) {
    DngOptions o;
    o.red = 8000;
    o.green = 16000;
    o.blue = 32000;
    const std::string path = write_test_dng("flat.dng", o);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << vantorix_last_error(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 64);
    EXPECT_EQ(vantorix_get_height(ctx), 48);
    const cv::Mat& img = ctx.ctx->raw.image.mat;
    ASSERT_EQ(img.type(), CV_16UC4);
    // Away from the borders every pixel holds the flat colour, red first.
    const cv::Vec<uint16_t, 4> px = img.at<cv::Vec<uint16_t, 4>>(24, 32);
    EXPECT_NEAR(px[0], srgb16(8000), 8.0);
    EXPECT_NEAR(px[1], srgb16(16000), 8.0);
    EXPECT_NEAR(px[2], srgb16(32000), 8.0);
    EXPECT_EQ(px[3], 65535);
    // The working image is a copy of the RAW result.
    EXPECT_EQ(cv::norm(img, ctx.ctx->pipeline.working.mat, cv::NORM_INF), 0.0);
    EXPECT_NE(img.data, ctx.ctx->pipeline.working.mat.data);
    EXPECT_EQ(ctx.ctx->raw.width, 64);
    EXPECT_EQ(ctx.ctx->raw.height, 48);
    EXPECT_STREQ(ctx.ctx->raw.make, "Vantorix");
    EXPECT_EQ(ctx.ctx->loaded_path, path);
}

TEST(RawLoading, SizeLevelsAndTheirClamp) {
    DngOptions o;
    o.width = 128;
    o.height = 96;
    const std::string path = write_test_dng("levels.dng", o);
    const struct {
        int level, w, h;
    } cases[] = {{1, 128, 96}, {0, 128, 96}, {-7, 128, 96}, {2, 64, 48}, {3, 64, 48}, {4, 32, 24}, {9, 32, 24}};
    for (const auto& c : cases) {
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), c.level), 0) << vantorix_last_error(ctx);
        EXPECT_EQ(vantorix_get_width(ctx), c.w) << "size level " << c.level;
        EXPECT_EQ(vantorix_get_height(ctx), c.h) << "size level " << c.level;
    }
}

TEST(RawLoading, LongerSideIsCappedAt2000) {
    DngOptions o;
    o.width = 2400;
    o.height = 64;
    const std::string path = write_test_dng("wide.dng", o);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << vantorix_last_error(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 2000);
    // 64 * (2000/2400 in single precision), rounded by the resize.
    EXPECT_EQ(vantorix_get_height(ctx), cvRound(64 * static_cast<double>(2000.0f / 2400.0f)));

    DngOptions exact;
    exact.width = 2000;
    exact.height = 32;
    const std::string p2 = write_test_dng("exact.dng", exact);
    ASSERT_EQ(vantorix_load_arw(ctx, p2.c_str(), 1), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 2000);
    EXPECT_EQ(vantorix_get_height(ctx), 32);
}

TEST(RawLoading, FailuresCarryLibRawMessages) {
    Context ctx;
    const std::string missing = testsupport::temp_path("does-not-exist.cr2");
    EXPECT_EQ(vantorix_load_arw(ctx, missing.c_str(), 1), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("LibRaw open_file failed: ", 0), 0u) << vantorix_last_error(ctx);
    EXPECT_EQ(ctx.ctx->raw.path, missing);

    // Garbage with RAW-looking names and a GIF all go to LibRaw.
    const std::string garbage = testsupport::temp_path("garbage.arw");
    testsupport::write_bytes(garbage, std::vector<uint8_t>(5000, 0x5A));
    EXPECT_EQ(vantorix_load_arw(ctx, garbage.c_str(), 1), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("LibRaw open_file failed: ", 0), 0u) << vantorix_last_error(ctx);

    const std::string gif = testsupport::temp_path("image.gif");
    const std::vector<uint8_t> gif_bytes = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF,
                                            0xFF, 0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0,
                                            0, 2, 2, 0x44, 1, 0, 0x3B};
    testsupport::write_bytes(gif, gif_bytes);
    EXPECT_EQ(vantorix_load_arw(ctx, gif.c_str(), 1), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("LibRaw ", 0), 0u) << vantorix_last_error(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 0);
}

TEST(RawLoading, FilesWithEmbeddedThumbnailsDevelopTheMosaic) {
    for (auto thumb : {DngOptions::Thumb::jpeg, DngOptions::Thumb::bitmap}) {
        DngOptions o;
        o.width = 96;
        o.height = 64;
        o.red = 30000;
        o.green = 20000;
        o.blue = 10000;
        o.thumb = thumb;
        const std::string path = write_test_dng(thumb == DngOptions::Thumb::jpeg ? "thumb_jpeg.dng" : "thumb_bmp.dng", o);
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << vantorix_last_error(ctx);
        EXPECT_EQ(vantorix_get_width(ctx), 96);  // the mosaic, not the 160 x 120 thumbnail
        EXPECT_EQ(vantorix_get_height(ctx), 64);
        const auto px = ctx.ctx->raw.image.mat.at<cv::Vec<uint16_t, 4>>(32, 48);
        EXPECT_NEAR(px[0], srgb16(30000), 8.0);
        EXPECT_NEAR(px[1], srgb16(20000), 8.0);
        EXPECT_NEAR(px[2], srgb16(10000), 8.0);
    }
}

TEST(RawLoading, FailedRawLoadKeepsTheEarlierRawImage) {
    DngOptions o;
    const std::string good = write_test_dng("keep.dng", o);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, good.c_str(), 1), 0);
    vantorix_set_contrast(ctx, 35.0f);
    for (const char* name : {"garbage.cr2", "garbage.nef"}) {
        const std::string bad = testsupport::temp_path(name);
        std::vector<uint8_t> junk(3000);
        for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
        testsupport::write_bytes(bad, junk);
        EXPECT_EQ(vantorix_load_arw(ctx, bad.c_str(), 2), -1);
        EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("LibRaw open_file failed: ", 0), 0u);
        EXPECT_EQ(ctx.ctx->raw.path, bad);
        EXPECT_EQ(ctx.ctx->raw.error, vantorix_last_error(ctx));
        EXPECT_EQ(vantorix_get_width(ctx), 64);
        EXPECT_EQ(ctx.ctx->raw.width, 64);
        EXPECT_EQ(ctx.ctx->loaded_path, good);
        EXPECT_EQ(ctx.ctx->adjustments.contrast, 35.0f);
    }
    // Loading an ordinary file afterwards returns the RAW record to its empty state.
    const std::string png = testsupport::temp_path("after_raw.png");
    cv::imwrite(png, cv::Mat(5, 7, CV_8UC3, cv::Scalar::all(9)));
    ASSERT_EQ(vantorix_load_arw(ctx, png.c_str(), 1), 0);
    EXPECT_TRUE(ctx.ctx->raw.image.empty());
    EXPECT_EQ(ctx.ctx->raw.width, 0);
    EXPECT_EQ(ctx.ctx->raw.make[0], '\0');
    EXPECT_TRUE(ctx.ctx->raw.path.empty());
    EXPECT_EQ(vantorix_get_width(ctx), 7);
}
