// JPEG, PNG and TIFF export and the EXIF carry-over.
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>

#include "engine/context.h"
#include "output/exif_carry.h"
#include "support/exif_jpeg.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::read_bytes;
using testsupport::temp_path;

namespace {

cv::Mat gradient(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x * 3), uint8_t(y * 4), uint8_t(x + y));
    return m;
}

std::string load_gradient(EngineContext* ctx, const std::string& name) {
    const std::string p = temp_path(name);
    cv::imwrite(p, gradient(40, 30));
    EXPECT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500.0f);
    return p;
}

// Marker bytes of the segments before the first non-APP segment.
std::vector<int> leading_markers(const std::vector<uint8_t>& jpeg) {
    std::vector<int> markers;
    size_t pos = 2;
    while (pos + 3 < jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] >= 0xE0 && jpeg[pos + 1] <= 0xEF) {
        markers.push_back(jpeg[pos + 1]);
        pos += ((jpeg[pos + 2] << 8) | jpeg[pos + 3]) + 2;
    }
    if (pos + 1 < jpeg.size()) markers.push_back(jpeg[pos + 1]);
    return markers;
}

}  // namespace

TEST(Export, FormatsDepthsAndChannels) {
    Context ctx;
    load_gradient(ctx, "exp.png");
    const std::string png16 = temp_path("o16.png"), png8 = temp_path("o8.png"), tif = temp_path("o.tif");
    ASSERT_EQ(vantorix_export_png(ctx, png16.c_str(), 16), 0);
    cv::Mat m = cv::imread(png16, cv::IMREAD_UNCHANGED);
    EXPECT_EQ(m.type(), CV_16UC3);
    EXPECT_EQ((m.at<cv::Vec<uint16_t, 3>>(5, 7)[0]), uint16_t(21 * 257));  // blue first again in the file
    EXPECT_EQ((m.at<cv::Vec<uint16_t, 3>>(5, 7)[2]), uint16_t(12 * 257));
    for (int bits : {8, 0, 24}) {
        ASSERT_EQ(vantorix_export_png(ctx, png8.c_str(), bits), 0);
        m = cv::imread(png8, cv::IMREAD_UNCHANGED);
        EXPECT_EQ(m.type(), CV_8UC3) << bits;
        EXPECT_EQ(cv::norm(m, gradient(40, 30), cv::NORM_INF), 0.0);
    }
    ASSERT_EQ(vantorix_export_tiff(ctx, tif.c_str()), 0);
    EXPECT_EQ(cv::imread(tif, cv::IMREAD_UNCHANGED).type(), CV_16UC3);
    // The encoder follows the extension, not the function.
    const std::string jpg_by_png = temp_path("by_png.jpg"), png_by_tiff = temp_path("by_tiff.png");
    ASSERT_EQ(vantorix_export_png(ctx, jpg_by_png.c_str(), 8), 0);
    EXPECT_EQ(read_bytes(jpg_by_png)[0], 0xFF);
    EXPECT_EQ(read_bytes(jpg_by_png)[1], 0xD8);
    ASSERT_EQ(vantorix_export_tiff(ctx, png_by_tiff.c_str()), 0);
    EXPECT_EQ(cv::imread(png_by_tiff, cv::IMREAD_UNCHANGED).type(), CV_16UC3);
}

TEST(Export, JpegQualityIsClamped) {
    Context ctx;
    load_gradient(ctx, "q.png");
    auto bytes_at = [&](int q) {
        const std::string p = temp_path("q" + std::to_string(q) + ".jpg");
        EXPECT_EQ(vantorix_export_jpeg(ctx, p.c_str(), q, 0, 0), 0);
        return read_bytes(p);
    };
    EXPECT_EQ(bytes_at(0), bytes_at(1));
    EXPECT_EQ(bytes_at(-40), bytes_at(1));
    EXPECT_EQ(bytes_at(250), bytes_at(100));
    EXPECT_NE(bytes_at(50), bytes_at(100));
}

TEST(Export, FailuresKeepExistingFilesAndReportMessages) {
    Context ctx;
    EXPECT_EQ(vantorix_export_jpeg(ctx, temp_path("none.jpg").c_str(), 90, 0, 0), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    load_gradient(ctx, "fail.png");
    const std::string victim = temp_path("victim.xyz");
    testsupport::write_bytes(victim, {1, 2, 3, 4});
    EXPECT_EQ(vantorix_export_jpeg(ctx, victim.c_str(), 90, 0, 0), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "JPEG write failed");
    EXPECT_EQ(vantorix_export_png(ctx, victim.c_str(), 8), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "PNG write failed");
    EXPECT_EQ(vantorix_export_tiff(ctx, victim.c_str()), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "TIFF write failed");
    EXPECT_EQ(read_bytes(victim), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(vantorix_export_png(ctx, temp_path("no/such/folder/x.png").c_str(), 8), -1);
    const std::string dir = temp_path("adir.png");
    ::mkdir(dir.c_str(), 0755);
    EXPECT_EQ(vantorix_export_png(ctx, dir.c_str(), 8), -1);
    struct stat st {};
    EXPECT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(Export, UsesTheStoredDevelopmentUntilItIsInvalidated) {
    Context ctx;
    load_gradient(ctx, "stale.png");
    const std::string a = temp_path("stale_a.png"), b = temp_path("stale_b.png"), c = temp_path("stale_c.png");
    ASSERT_EQ(vantorix_process(ctx), 0);
    vantorix_set_brightness(ctx, 80.0f);
    ASSERT_EQ(vantorix_export_png(ctx, a.c_str(), 8), 0);  // still the earlier development
    EXPECT_EQ(cv::norm(cv::imread(a), gradient(40, 30), cv::NORM_INF), 0.0);
    ctx.ctx->processed_valid = false;
    ASSERT_EQ(vantorix_export_png(ctx, b.c_str(), 8), 0);  // develops, without marking it valid
    EXPECT_GT(cv::norm(cv::imread(b), gradient(40, 30), cv::NORM_INF), 0.0);
    EXPECT_FALSE(ctx.ctx->processed_valid);
    vantorix_reset_adjustments(ctx);
    vantorix_set_temperature(ctx, 6500.0f);
    ASSERT_EQ(vantorix_export_png(ctx, c.c_str(), 8), 0);
    EXPECT_EQ(cv::norm(cv::imread(c), gradient(40, 30), cv::NORM_INF), 0.0);
}

TEST(ExifCarry, SourceBlockBecomesTheSecondSegmentWithUprightOrientation) {
    testsupport::ExifTags tags;
    tags.make = "Vantorix Optics";
    tags.model = "VX-1";
    tags.orientation = 6;
    const std::vector<uint8_t> block = testsupport::build_exif_block(tags);
    const std::string src = temp_path("tagged6.jpg");
    testsupport::write_bytes(src, testsupport::jpeg_with_exif(gradient(300, 200), block));
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, src.c_str(), 1), 0);
    // The decoder applied the orientation: the picture is upright already.
    EXPECT_EQ(vantorix_get_width(ctx), 200);
    EXPECT_EQ(vantorix_get_height(ctx), 300);
    const std::string out = temp_path("carried.jpg"), plain = temp_path("plain.jpg");
    ASSERT_EQ(vantorix_export_jpeg(ctx, out.c_str(), 90, 0, 1), 0);
    ASSERT_EQ(vantorix_export_jpeg(ctx, plain.c_str(), 90, 0, 0), 0);
    const std::vector<uint8_t> bytes = read_bytes(out);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(bytes[3], 0xE1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[6]), 6), std::string("Exif\0\0", 6));
    const std::vector<int> markers = leading_markers(bytes);
    ASSERT_GE(markers.size(), 2u);
    EXPECT_EQ(markers[0], 0xE1);
    EXPECT_NE(markers[1], 0xE0);  // no JFIF segment left
    EXPECT_EQ(testsupport::exif_make_of(out), "Vantorix Optics");
    EXPECT_EQ(testsupport::exif_orientation_of(out), 1);
    EXPECT_EQ(leading_markers(read_bytes(plain))[0], 0xE0);  // without the flag: the encoder's file
    EXPECT_EQ(testsupport::exif_make_of(plain), "");
    // The pixels are those of the plain export.
    EXPECT_EQ(cv::norm(cv::imread(out, cv::IMREAD_UNCHANGED | cv::IMREAD_IGNORE_ORIENTATION),
                       cv::imread(plain, cv::IMREAD_UNCHANGED | cv::IMREAD_IGNORE_ORIENTATION), cv::NORM_INF),
              0.0);
}

TEST(ExifCarry, SourcesWithoutUsableExifLeaveTheEncoderFile) {
    Context ctx;
    load_gradient(ctx, "noexif.png");
    const std::string with = temp_path("with.jpg"), without = temp_path("without.jpg");
    ASSERT_EQ(vantorix_export_jpeg(ctx, with.c_str(), 80, 0, 1), 0);
    ASSERT_EQ(vantorix_export_jpeg(ctx, without.c_str(), 80, 0, 0), 0);
    EXPECT_EQ(read_bytes(with), read_bytes(without));

    // A block too large for one APP1 segment is not carried.
    testsupport::ExifTags big;
    big.make = "Big";
    big.user_comment_bytes = 70000;
    const std::string src = temp_path("bigexif.jpg");
    const std::vector<uint8_t> block = testsupport::build_exif_block(big);
    testsupport::write_bytes(src, testsupport::jpeg_with_exif(gradient(20, 20), testsupport::build_exif_block({"Small", "", 1, 0})));
    std::vector<uint8_t> encoded;
    cv::imencode(".jpg", gradient(8, 8), encoded);
    const std::vector<uint8_t> original = encoded;
    ASSERT_GT(block.size() + 2, 0xFFFFu);
    // libexif reads a file that holds just the block.
    const std::string raw_block = temp_path("block.exif");
    testsupport::write_bytes(raw_block, block);
    EXPECT_FALSE(vantorix::carry_exif(raw_block, encoded));
    EXPECT_EQ(encoded, original);
    EXPECT_TRUE(vantorix::carry_exif(src, encoded));
    EXPECT_EQ(encoded[3], 0xE1);
}

TEST(ExifCarry, MalformedSegmentLengthsStayInsideTheData) {
    testsupport::ExifTags tags;
    tags.make = "Scan";
    const std::string src = temp_path("scan.jpg");
    testsupport::write_bytes(src, testsupport::jpeg_with_exif(gradient(16, 16), testsupport::build_exif_block(tags)));
    // SOI, then an APP0 whose length runs far past the end of the data.
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 'J', 'F', 'I', 'F', 0};
    const std::vector<uint8_t> tail(jpeg.begin() + 2, jpeg.end());
    ASSERT_TRUE(vantorix::carry_exif(src, jpeg));
    const size_t app1 = (size_t(jpeg[4]) << 8 | jpeg[5]) + 4;
    ASSERT_EQ(jpeg.size(), app1 + tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(app1)));
    // Not a JPEG stream: untouched.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0, 0};
    EXPECT_FALSE(vantorix::carry_exif(src, png));
    std::vector<uint8_t> tiny = {0xFF, 0xD8};
    EXPECT_FALSE(vantorix::carry_exif(src, tiny));
}

TEST(ExifCarry, CorpusCameraJpeg) {
    REQUIRE_CORPUS();
    Context ctx;
    const std::string src = CORPUS_FILE("jpeg/canon_sx150is_IMG_1038.JPG");  // orientation 6
    ASSERT_EQ(vantorix_load_arw(ctx, src.c_str(), 1), 0);
    const std::string out = temp_path("canon_carried.jpg");
    ASSERT_EQ(vantorix_export_jpeg(ctx, out.c_str(), 85, 0, 1), 0);
    EXPECT_EQ(testsupport::exif_make_of(out), "Canon");
    EXPECT_EQ(testsupport::exif_orientation_of(out), 1);
    EXPECT_EQ(cv::imread(out).size(), cv::Size(480, 640));  // viewers show it upright
}
