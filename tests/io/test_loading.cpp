// Loading ordinary image files and camera RAW files, and the file helpers.
#include <sys/stat.h>

#include <cstdlib>

#include "engine/context.h"
#include "io/file_io.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::DngOptions;
using testsupport::temp_path;

namespace {

// A BGR picture whose pixel (x, y) is (x*7, y*5, 200) in B, G, R.
cv::Mat pattern(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x * 7), uint8_t(y * 5), 200);
    return m;
}

std::string dng(const std::string& name, int w, int h, DngOptions o = DngOptions()) {
    o.width = w, o.height = h;
    EXPECT_TRUE(testsupport::write_dng(temp_path(name), o));
    return temp_path(name);
}

cv::Size loaded_size(const std::string& path, int level) {
    Context ctx;
    return vantorix_load_arw(ctx, path.c_str(), level) == 0 ? cv::Size(vantorix_get_width(ctx), vantorix_get_height(ctx)) : cv::Size();
}

}  // namespace

TEST(Loading, OrdinaryFilesKeepChannelOrderAndSize) {
    for (const char* ext : {".png", ".bmp", ".tif", ".webp"}) {
        Context ctx;
        testsupport::write_image(temp_path(std::string("order") + ext), pattern(30, 20), {cv::IMWRITE_WEBP_QUALITY, 101});
        ASSERT_EQ(vantorix_load_arw(ctx, temp_path(std::string("order") + ext).c_str(), 1), 0) << ext;
        EXPECT_EQ(cv::Size(vantorix_get_width(ctx), vantorix_get_height(ctx)), cv::Size(30, 20));
        EXPECT_EQ((ctx.ctx->pipeline.working.mat.at<cv::Vec<uint16_t, 4>>(3, 4)), (cv::Vec<uint16_t, 4>(200 * 257, 15 * 257, 28 * 257, 65535)));
    }
    // The longer side is reduced to 4096.
    testsupport::write_image(temp_path("wide.bmp"), cv::Mat(10, 4097, CV_8UC3, cv::Scalar(1, 2, 3)));
    testsupport::write_image(temp_path("edge.bmp"), cv::Mat(4096, 10, CV_8UC3, cv::Scalar(1, 2, 3)));
    EXPECT_EQ(loaded_size(temp_path("wide.bmp"), 1), cv::Size(4096, 10));
    EXPECT_EQ(loaded_size(temp_path("edge.bmp"), 9), cv::Size(10, 4096));
}

// A failed load keeps the earlier image, its settings and its RAW record.
TEST(Loading, MalformedFilesKeepTheEarlierImage) {
    std::vector<uint8_t> png, jpg;
    cv::imencode(".png", pattern(64, 64), png);
    cv::imencode(".jpg", pattern(64, 64), jpg);
    const std::pair<std::string, std::vector<uint8_t>> bad[] = {
        {"notes.jpg", {'t', 'e', 'x', 't'}}, {"zero.jpg", {}}, {"cut.png", {png.begin(), png.begin() + png.size() / 3}},
        {"cut.jpg", {jpg.begin(), jpg.begin() + 200}}, {"garbage.arw", std::vector<uint8_t>(5000, 0x5A)}};
    std::vector<std::string> paths = {temp_path("missing.png"), temp_path("missing.nef"), temp_path("folder.jpg")};
    ::mkdir(paths.back().c_str(), 0755);
    for (const auto& [name, bytes] : bad) testsupport::write_bytes(temp_path(name), bytes), paths.push_back(temp_path(name));
    const std::string good = dng("keep.dng", 64, 48);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, good.c_str(), 1), 0);
    vantorix_set_exposure(ctx, 1.5f);
    for (const std::string& p : paths) {
        ctx.ctx->processed_valid = true;
        EXPECT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), -1) << p;
        const std::string message = vantorix_last_error(ctx);
        const std::string expected = p == paths[2]                        ? "cannot read '" + p + "': not a regular file"
                                     : vantorix::has_image_extension(p) ? "OpenCV could not read: " + p
                                                                        : "LibRaw open_file failed: ";
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
        EXPECT_TRUE(!ctx.ctx->processed_valid && vantorix_get_width(ctx) == 64 && ctx.ctx->raw.width == 64 && ctx.ctx->loaded_path == good);
        EXPECT_EQ(ctx.ctx->adjustments.exposure, 1.5f);
    }
    // A success resets the settings (not the message); an ordinary file empties the RAW record.
    testsupport::load_image(ctx, pattern(7, 5), "after_raw.png");
    EXPECT_NE(std::string(vantorix_last_error(ctx)), "");
    EXPECT_TRUE(ctx.ctx->adjustments.exposure == 0 && ctx.ctx->raw.image.empty() && ctx.ctx->raw.make[0] == 0);
    vantorix_set_contrast(ctx, 20);
    vantorix_unload(ctx);
    EXPECT_TRUE(vantorix_get_width(ctx) == 0 && vantorix_process(ctx) == -1 && ctx.ctx->adjustments.contrast == 20);  // settings survive
}

// Flat linear colours come out through the sRGB curve, whatever thumbnail the file holds.
TEST(Loading, RawDevelopmentSizesAndColour) {
    auto srgb16 = [](double v) { v /= 65535; return 65535 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055); };
    for (auto thumb : {DngOptions::Thumb::none, DngOptions::Thumb::jpeg, DngOptions::Thumb::bitmap}) {
        DngOptions o;
        o.red = 8000, o.green = 16000, o.blue = 32000, o.thumb = thumb;
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, dng("flat.dng", 64, 48, o).c_str(), 1), 0) << vantorix_last_error(ctx);
        const cv::Vec<uint16_t, 4> px = ctx.ctx->raw.image.mat.at<cv::Vec<uint16_t, 4>>(24, 32);
        EXPECT_EQ(ctx.ctx->raw.image.mat.size(), cv::Size(64, 48));
        EXPECT_TRUE(std::fabs(px[0] - srgb16(8000)) < 8 && std::fabs(px[1] - srgb16(16000)) < 8 && std::fabs(px[2] - srgb16(32000)) < 8) << px;
        EXPECT_EQ(px[3], 65535);
        EXPECT_TRUE(testsupport::identical(ctx.ctx->raw.image.mat, ctx.ctx->pipeline.working.mat));
        EXPECT_STREQ(ctx.ctx->raw.make, "Vantorix");
    }
    const std::string path = dng("levels.dng", 128, 96);
    for (auto [level, w] : {std::pair<int, int>{1, 128}, {-7, 128}, {2, 64}, {3, 64}, {4, 32}, {9, 32}})
        EXPECT_EQ(loaded_size(path, level), cv::Size(w, w * 3 / 4)) << "size level " << level;
    EXPECT_EQ(loaded_size(dng("wide.dng", 2400, 64), 1), cv::Size(2000, 53));  // at most 2000 pixels
    EXPECT_EQ(loaded_size(dng("exact.dng", 2000, 32), 1), cv::Size(2000, 32));
}

TEST(Loading, CorpusFiles) {
    REQUIRE_CORPUS();
    for (auto [file, level, w, h] : {std::tuple<const char*, int, int, int>{"jpeg/canon_eos_rp_MG_0631.JPG", 1, 4096, 2731},
                                     {"jpeg/canon_sx150is_IMG_1038.JPG", 1, 480, 640},  // turned upright
                                     {"other/vips_sample_16bit_rgb.png", 1, 290, 442}, {"other/mei_png_issue280_rgba.png", 1, 640, 513},
                                     {"other/mei_tif_issue151_16bit_gray_parrot.tif", 1, 1280, 964},
                                     {"other/mei_webp_alpha_lossy_1.webp", 1, 400, 301}, {"raw/canon_powershot_s40_CRW_0101.CRW", 2, 1156, 860},
                                     {"raw/kodak_dc120_P003908.KDC", 2, 651, 488}, {"raw/kodak_dc50_DC0008L.KDC", 2, 384, 256},
                                     {"raw/tinydng_colorchart_canon_eos_kiss_x4.dng", 2, 867, 578},
                                     {"raw/apple_quicktake100_TEST100.QTK", 2, 320, 240}, {"raw/apple_quicktake150_raw_Image_01.qtk", 2, 320, 240}}) {
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, CORPUS_FILE(file).c_str(), level), 0) << file << ": " << vantorix_last_error(ctx);
        EXPECT_EQ(cv::Size(vantorix_get_width(ctx), vantorix_get_height(ctx)), cv::Size(w, h)) << file;
        EXPECT_GT(cv::mean(ctx.ctx->source_image().mat)[1], 1000.0) << file;  // not black
    }
    // Stripped, foreign and malformed files fail cleanly, or develop to a bounded image.
    for (const char* f : {"raw/neg_exiftool_CanonRaw.cr3", "raw/neg_exiftool_DNG.dng", "raw/neg_exiftool_FujiFilm.raf",
                          "raw/neg_exiftool_Nikon.nef", "raw/neg_exiv2_IMG_1361_iphone12promax.dng", "raw/neg_gopro_hero7_GOPR8508.GPR",
                          "malformed/exiv2_issue_1887_poc.crw", "malformed/exiv2_issue_857_poc.raf", "malformed/exiv2_crash-23eba73b.jpg",
                          "malformed/exiv2_2018-01-09-crash-001.tiff", "malformed/pillow_crash-0c7e0e8e.tif",
                          "malformed/bmpsuite_b_reallybig_via_pillow.bmp", "malformed/mei_fuzz_crash-5694c3cf.webp",
                          "malformed/mei_fuzz_crash-824dc868.png", "malformed/pillow_truncated_jpeg.jpg"}) {
        Context ctx;
        if (vantorix_load_arw(ctx, CORPUS_FILE(f).c_str(), 4) == 0)
            EXPECT_TRUE(std::max(vantorix_get_width(ctx), vantorix_get_height(ctx)) <= 4096 && vantorix_process(ctx) == 0) << f;
        else
            EXPECT_TRUE(vantorix_get_width(ctx) == 0 && *vantorix_last_error(ctx)) << f;
    }
    Context ctx;
    EXPECT_EQ(vantorix_load_arw(ctx, CORPUS_FILE("raw/neg_exiftool_CanonRaw.cr2").c_str(), 1), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "LibRaw open_file failed: Unsupported file format or not RAW file");
}

