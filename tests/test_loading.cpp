// File access and loading of ordinary image files.
#include <dirent.h>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "io/file_io.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::temp_path;

namespace {

// A BGR test picture whose pixel (x, y) is (x*7, y*5, 200) in B, G, R.
cv::Mat pattern(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x * 7), uint8_t(y * 5), 200);
    return m;
}

int count_files(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' || (std::string(e->d_name) != "." && std::string(e->d_name) != "..")) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

TEST(FileAccess, ImageExtensions) {
    using vantorix::has_image_extension;
    for (const char* yes : {"IMG_0001.JPEG", "image.webp", ".png", "photo.JPG", "x.tiff", "a/b.TIF", "c.bmp", "d.jpeg"})
        EXPECT_TRUE(has_image_extension(yes)) << yes;
    for (const char* no : {"image.heic", "png", "", "photo.jpg.cr2", "scan.jp2", "bare", "x.gif", ".pn"})
        EXPECT_FALSE(has_image_extension(no)) << no;
}

TEST(FileAccess, ReadingBadFilesGivesEmpty) {
    using vantorix::read_image_file;
    EXPECT_TRUE(read_image_file(temp_path("missing.jpg"), 1).empty());
    const std::string text = temp_path("text.jpg");
    testsupport::write_bytes(text, std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_TRUE(read_image_file(text, 1).empty());
    const std::string empty = temp_path("empty.png");
    testsupport::write_bytes(empty, {});
    EXPECT_TRUE(read_image_file(empty, 1).empty());
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(vantorix::read_file_bytes(testsupport::temp_dir(), bytes));  // a directory
    EXPECT_TRUE(read_image_file(testsupport::temp_dir(), 1).empty());
}

TEST(FileAccess, SixteenBitPngReadAsEightBitColour) {
    cv::Mat m16(4, 5, CV_16UC3, cv::Scalar(1000, 30000, 65535));
    const std::string p = temp_path("sixteen.png");
    testsupport::write_image(p, m16);
    const cv::Mat m = vantorix::read_image_file(p, cv::IMREAD_COLOR);
    EXPECT_EQ(m.type(), CV_8UC3);
    EXPECT_EQ(m.size(), cv::Size(5, 4));
}

TEST(FileAccess, WritingFollowsTheExtensionAndHandlesUtf8) {
    const std::string p = temp_path("pic.png");
    ASSERT_TRUE(vantorix::write_image_file(p, pattern(8, 6), {cv::IMWRITE_JPEG_QUALITY, 50}));
    const std::vector<uint8_t> bytes = testsupport::read_bytes(p);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes[1], 'P');  // a PNG signature despite JPEG parameters
    EXPECT_EQ(cv::norm(cv::imread(p), pattern(8, 6), cv::NORM_INF), 0.0);

    const std::string utf8 = temp_path("f\xC3\xBC\x72 \xE6\x97\xA5\xE6\x9C\xAC.png");
    ASSERT_TRUE(vantorix::write_image_file(utf8, pattern(8, 6), {}));
    EXPECT_EQ(vantorix::read_image_file(utf8, 1).size(), cv::Size(8, 6));
    Context ctx;
    EXPECT_EQ(vantorix_load_arw(ctx, utf8.c_str(), 1), 0);

    EXPECT_FALSE(vantorix::write_image_file(temp_path("noext"), pattern(4, 4), {}));
    EXPECT_FALSE(vantorix::write_image_file(temp_path("x.unknownformat"), pattern(4, 4), {}));
    EXPECT_FALSE(vantorix::write_image_file(temp_path("no/such/dir/x.png"), pattern(4, 4), {}));
}

TEST(FileAccess, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string dir = temp_path("atomic");
    ::mkdir(dir.c_str(), 0755);
    const std::string target = dir + "/keep.png";
    ASSERT_TRUE(vantorix::write_image_file(target, pattern(8, 8), {}));
    const std::vector<uint8_t> before = testsupport::read_bytes(target);
    // An image the PNG encoder refuses (two channels of float).
    EXPECT_FALSE(vantorix::write_image_file(target, cv::Mat(4, 4, CV_32FC2, cv::Scalar::all(0.5)), {}));
    EXPECT_EQ(testsupport::read_bytes(target), before);
    // Writing over a directory fails without touching it.
    EXPECT_FALSE(vantorix::write_file_atomic(dir, before));
    EXPECT_EQ(count_files(dir), 1);
    // A successful rewrite replaces the content whole.
    ASSERT_TRUE(vantorix::write_image_file(target, pattern(3, 3), {}));
    EXPECT_EQ(cv::imread(target).size(), cv::Size(3, 3));
    EXPECT_EQ(count_files(dir), 1);
}

TEST(Loading, OrdinaryImageKeepsChannelOrderAndSize) {
    const cv::Mat src = pattern(30, 20);
    for (const char* ext : {".png", ".bmp", ".tif", ".webp"}) {
        const std::string p = temp_path(std::string("order") + ext);
        std::vector<int> params;
        if (std::string(ext) == ".webp") params = {cv::IMWRITE_WEBP_QUALITY, 101};  // lossless
        testsupport::write_image(p, src, params);
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0) << ext << ": " << vantorix_last_error(ctx);
        EXPECT_EQ(vantorix_get_width(ctx), 30);
        EXPECT_EQ(vantorix_get_height(ctx), 20);
        EXPECT_TRUE(ctx.ctx->raw.image.empty());
        const cv::Mat& w = ctx.ctx->pipeline.working.mat;
        ASSERT_EQ(w.type(), CV_16UC4);
        const auto px = w.at<cv::Vec<uint16_t, 4>>(3, 4);
        EXPECT_EQ(px[0], 200 * 257) << ext;  // red first
        EXPECT_EQ(px[1], 15 * 257) << ext;
        EXPECT_EQ(px[2], 28 * 257) << ext;
        EXPECT_EQ(px[3], 65535) << ext;
    }
}

TEST(Loading, SixteenBitAndAlphaSourcesBecomeEightBitPrecision) {
    cv::Mat m16(6, 6, CV_16UC4, cv::Scalar(1000, 30000, 60000, 0));
    const std::string p = temp_path("alpha16.png");
    testsupport::write_image(p, m16);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    const cv::Mat& w = ctx.ctx->pipeline.working.mat;
    for (int y = 0; y < w.rows; ++y)
        for (int x = 0; x < w.cols; ++x) {
            const auto px = w.at<cv::Vec<uint16_t, 4>>(y, x);
            for (int c = 0; c < 3; ++c) EXPECT_EQ(px[c] % 257, 0);
            EXPECT_EQ(px[3], 65535);  // transparency is not kept
        }
}

TEST(Loading, LargeImagesAreReducedTo4096) {
    Context ctx;
    const std::string sq = temp_path("square.bmp");
    testsupport::write_image(sq, cv::Mat(4096, 4096, CV_8UC3, cv::Scalar(1, 2, 3)));
    ASSERT_EQ(vantorix_load_arw(ctx, sq.c_str(), 9), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 4096);
    EXPECT_EQ(vantorix_get_height(ctx), 4096);
    const std::string wide = temp_path("wide.bmp");
    testsupport::write_image(wide, cv::Mat(10, 4097, CV_8UC3, cv::Scalar(1, 2, 3)));
    ASSERT_EQ(vantorix_load_arw(ctx, wide.c_str(), 1), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 4096);
    EXPECT_EQ(vantorix_get_height(ctx), 10);
}

TEST(Loading, SixThousandPixelJpegIsReducedTo4096By2731) {
    const std::string p = temp_path("6000x4000.jpg");
    testsupport::write_image(p, cv::Mat(4000, 6000, CV_8UC3, cv::Scalar(40, 80, 120)), {cv::IMWRITE_JPEG_QUALITY, 40});
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 4096);
    EXPECT_EQ(vantorix_get_height(ctx), 2731);
}

TEST(Loading, CorpusLargeJpegIsReducedTo4096) {
    REQUIRE_CORPUS();
    Context ctx;
    const std::string p = CORPUS_FILE("jpeg/canon_eos_rp_MG_0631.JPG");  // 6240 x 4160
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 4096);
    EXPECT_EQ(vantorix_get_height(ctx), 2731);
}

TEST(Loading, BadFilesFailCleanlyAndKeepTheEarlierImage) {
    Context ctx;
    const std::string good = temp_path("good.png");
    testsupport::write_image(good, pattern(12, 10));
    ASSERT_EQ(vantorix_load_arw(ctx, good.c_str(), 1), 0);
    vantorix_set_exposure(ctx, 1.5f);
    ASSERT_EQ(vantorix_process(ctx), 0);

    const std::string text = temp_path("notes.jpg");
    testsupport::write_bytes(text, std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    const std::string empty = temp_path("zero.jpg");
    testsupport::write_bytes(empty, {});
    std::vector<uint8_t> png;
    cv::imencode(".png", pattern(64, 64), png);
    png.resize(png.size() / 3);
    const std::string truncated_png = temp_path("cut.png");
    testsupport::write_bytes(truncated_png, png);
    std::vector<uint8_t> tif;
    cv::imencode(".tif", pattern(64, 64), tif);
    tif.resize(40);
    const std::string truncated_tif = temp_path("cut.tif");
    testsupport::write_bytes(truncated_tif, tif);
    std::vector<uint8_t> jpg;
    cv::imencode(".jpg", pattern(64, 64), jpg);
    jpg.resize(200);  // headers only
    const std::string truncated_jpg = temp_path("cut.jpg");
    testsupport::write_bytes(truncated_jpg, jpg);
    const std::string dir = temp_path("folder.jpg");
    ::mkdir(dir.c_str(), 0755);

    for (const std::string& bad : {text, empty, truncated_png, truncated_tif, truncated_jpg, dir, temp_path("missing.png")}) {
        ctx.ctx->processed_valid = true;
        EXPECT_EQ(vantorix_load_arw(ctx, bad.c_str(), 1), -1) << bad;
        EXPECT_EQ(std::string(vantorix_last_error(ctx)), "OpenCV could not read: " + bad);
        EXPECT_FALSE(ctx.ctx->processed_valid);
        EXPECT_EQ(vantorix_get_width(ctx), 12);
        EXPECT_EQ(vantorix_get_height(ctx), 10);
        EXPECT_EQ(ctx.ctx->adjustments.exposure, 1.5f);
        EXPECT_EQ(ctx.ctx->loaded_path, good);
    }
    // A later success does not clear the message.
    ASSERT_EQ(vantorix_load_arw(ctx, good.c_str(), 1), 0);
    EXPECT_NE(std::string(vantorix_last_error(ctx)), "");
    EXPECT_EQ(ctx.ctx->adjustments.exposure, 0.0f);  // defaults after a load
}

TEST(Loading, UnloadEmptiesTheContext) {
    Context ctx;
    const std::string good = temp_path("unload.png");
    testsupport::write_image(good, pattern(12, 10));
    ASSERT_EQ(vantorix_load_arw(ctx, good.c_str(), 1), 0);
    ASSERT_EQ(vantorix_process(ctx), 0);
    vantorix_set_contrast(ctx, 20);
    vantorix_unload(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 0);
    EXPECT_EQ(vantorix_get_height(ctx), 0);
    EXPECT_EQ(ctx.ctx->adjustments.contrast, 20.0f);  // settings survive an unload
    EXPECT_EQ(vantorix_process(ctx), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
}

TEST(Loading, CorpusOrdinaryFiles) {
    REQUIRE_CORPUS();
    const struct {
        const char* file;
        int w, h;
    } cases[] = {
        {"other/vips_sample_16bit_rgb.png", 290, 442},   {"other/vips_sample_16bit_rgb.tif", 290, 442},
        {"other/libtiff_flower-rgb-contig-16.tif", 73, 43}, {"other/mei_tif_issue151_16bit_gray_parrot.tif", 1280, 964},
        {"other/libtiff_pc260001_olympus.tif", 640, 480}, {"other/mei_png_issue280_rgba.png", 640, 513},
        {"other/pngsuite_basi6a16.png", 32, 32},          {"other/mei_webp_photo_1_lossy.webp", 1024, 772},
        {"other/mei_webp_alpha_lossy_1.webp", 400, 301},  {"other/mei_bmp_programming_24bit.bmp", 76, 72},
        {"jpeg/canon_sx150is_IMG_1038.JPG", 480, 640},    // EXIF orientation 6 applied by the decoder
        {"jpeg/polaroid_pdc640m_POL_0132.JPG", 640, 480},
    };
    for (const auto& c : cases) {
        Context ctx;
        const std::string p = CORPUS_FILE(c.file);
        ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0) << c.file << ": " << vantorix_last_error(ctx);
        EXPECT_EQ(vantorix_get_width(ctx), c.w) << c.file;
        EXPECT_EQ(vantorix_get_height(ctx), c.h) << c.file;
    }
}

TEST(Loading, CorpusMalformedFilesFailWithoutCrashing) {
    REQUIRE_CORPUS();
    const char* files[] = {"malformed/exiv2_issue_1887_poc.crw", "malformed/exiv2_issue_857_poc.raf",
                           "malformed/exiv2_crash-23eba73b.jpg", "malformed/exiv2_2018-01-09-crash-001.tiff",
                           "malformed/pillow_truncated_image.png", "malformed/pillow_crash-0c7e0e8e.tif",
                           "malformed/bmpsuite_b_reallybig_via_pillow.bmp", "malformed/bmpsuite_b_shortfile.bmp",
                           "malformed/mei_fuzz_crash-5694c3cf.webp", "malformed/mei_fuzz_crash-824dc868.png"};
    for (const char* f : files) {
        Context ctx;
        const std::string p = CORPUS_FILE(f);
        EXPECT_EQ(vantorix_load_arw(ctx, p.c_str(), 2), -1) << f;
        EXPECT_NE(std::string(vantorix_last_error(ctx)), "") << f;
        EXPECT_EQ(vantorix_get_width(ctx), 0);
    }
    // Truncated JPEG data: the decoder either refuses it or delivers what it has.
    for (const char* f : {"malformed/pillow_truncated_jpeg.jpg", "malformed/vips_truncated.jpg"}) {
        Context ctx;
        const std::string p = CORPUS_FILE(f);
        if (vantorix_load_arw(ctx, p.c_str(), 1) == 0)
            EXPECT_EQ(vantorix_process(ctx), 0) << f;
        else
            EXPECT_EQ(std::string(vantorix_last_error(ctx)), "OpenCV could not read: " + p);
    }
}
