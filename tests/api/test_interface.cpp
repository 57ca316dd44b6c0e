// The public header's named values and the interface's diagnostics: version
// macros, AutoEnhanceResult slot names, curve channel and HSL band names, the
// reasons of failed thumbnails and hashes, and quiet operation.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <string>

#include "support/dng_writer.h"
#include "support/test_support.h"
#include "vantorix.h"

namespace {

using testsupport::temp_path;

TEST(PublicHeader, VersionMacrosMatchTheLibrary) {
    EXPECT_EQ(std::to_string(VANTORIX_VERSION_MAJOR) + "." + std::to_string(VANTORIX_VERSION_MINOR) + "." +
                  std::to_string(VANTORIX_VERSION_PATCH), VANTORIX_VERSION_STRING);
    EXPECT_STREQ(vantorix_version(), VANTORIX_VERSION_STRING);
}

// A uniform grey of 128 fills luminance bin 128: median 128/255, no spread, no
// clipped pixels, no detail. Each named slot holds the value auto enhance gives
// that setting for such a picture.
TEST(PublicHeader, SlotNamesAddressTheirSettings) {
    const std::string png = temp_path("grey128.png");
    testsupport::write_image(png, cv::Mat(64, 96, CV_8UC3, cv::Scalar::all(128)));
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, png.c_str(), 1), 0);
    AutoEnhanceResult r;
    ASSERT_EQ(vantorix_auto_enhance(ctx, &r), 0);
    // The settings that are not 0 for such a picture; every other named slot holds 0.
    const std::pair<int, float> rows[] = {{VANTORIX_SLOT_CONTRAST, 15}, {VANTORIX_SLOT_SHADOWS, 15},
        {VANTORIX_SLOT_BLACKS, 5}, {VANTORIX_SLOT_TEMPERATURE, 6500}, {VANTORIX_SLOT_VIBRANCE, 8},
        {VANTORIX_SLOT_NR_LUMINANCE, 20}, {VANTORIX_SLOT_NR_COLOR, 1}};
    float want[32] = {};
    for (const auto& [slot, value] : rows) want[slot] = value;
    for (int s = VANTORIX_SLOT_BRIGHTNESS; s < 32; ++s) EXPECT_EQ(r.slots[s], want[s]) << "slot " << s;
    // 0.35 * log2(0.42 / (128 / 255)) = -0.0900
    EXPECT_NEAR(r.slots[VANTORIX_SLOT_EXPOSURE], -0.0900f, 0.0005f);
}

// A curve that maps everything to 0 on one named channel, or a band whose
// saturation is removed: only the named channel / the hue of that band changes.
TEST(PublicHeader, ChannelAndBandNamesReachTheirTargets) {
    const std::string png = temp_path("colours.png");
    // red, green / blue, yellow (BGR)
    testsupport::write_image(png, (cv::Mat_<cv::Vec3b>(2, 2) << cv::Vec3b(0, 0, 200), cv::Vec3b(0, 200, 0),
                                   cv::Vec3b(200, 0, 0), cv::Vec3b(0, 200, 200)));
    const float zero[] = {0.0f, 0.0f, 1.0f, 0.0f};
    // curve: channel flattened to 0, or -1; band: band desaturated, or -1; pixel (row-major) that must change;
    // channel: its RGBA channel that must become 0 (curve rows).
    const struct { const char* what; int curve, band, pixel, channel; } rows[] = {
        {"red curve", VANTORIX_CURVE_RED, -1, 0, 0}, {"green curve", VANTORIX_CURVE_GREEN, -1, 1, 1},
        {"blue curve", VANTORIX_CURVE_BLUE, -1, 2, 2}, {"master curve", VANTORIX_CURVE_MASTER, -1, 3, 1},
        {"red band", -1, VANTORIX_HSL_RED, 0, -1}, {"green band", -1, VANTORIX_HSL_GREEN, 1, -1},
        {"blue band", -1, VANTORIX_HSL_BLUE, 2, -1}, {"yellow band", -1, VANTORIX_HSL_YELLOW, 3, -1}};
    for (const auto& row : rows) {
        testsupport::Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, png.c_str(), 1), 0);
        vantorix_set_temperature(ctx, 6500.0f);
        const cv::Mat before = testsupport::preview_of(ctx);
        if (row.curve >= 0) vantorix_set_tone_curve(ctx, row.curve, zero, 2);
        if (row.band >= 0) vantorix_set_hsl(ctx, row.band, 0.0f, -100.0f, 0.0f);
        const cv::Mat after = testsupport::preview_of(ctx);
        for (int i = 0; i < 4; ++i) {
            const cv::Vec4b b = before.at<cv::Vec4b>(i / 2, i % 2), a = after.at<cv::Vec4b>(i / 2, i % 2);
            EXPECT_TRUE(row.curve < 0 || i != row.pixel || a[row.channel] == 0) << row.what << ": " << a;
            EXPECT_TRUE(row.band < 0 || i == row.pixel || a == b) << row.what << ": pixel " << i << " " << a;
            EXPECT_TRUE(row.band < 0 || i != row.pixel || (a[0] == a[1] && a[1] == a[2])) << row.what << ": " << a;
        }
    }
}

TEST(PublicHeader, SplitToningNamesSelectTheRange) {
    testsupport::Context ctx;
    const std::string png = temp_path("dark.png");
    testsupport::write_image(png, cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(40)));
    ASSERT_EQ(vantorix_load_arw(ctx, png.c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500.0f);
    const cv::Mat neutral = testsupport::preview_of(ctx);
    vantorix_set_split_toning(ctx, VANTORIX_SPLIT_HIGHLIGHTS, 200.0f, 40.0f, 0.0f);
    const cv::Mat highlights = testsupport::preview_of(ctx);
    vantorix_set_split_toning(ctx, VANTORIX_SPLIT_HIGHLIGHTS, 0.0f, 0.0f, 0.0f);
    vantorix_set_split_toning(ctx, VANTORIX_SPLIT_SHADOWS, 200.0f, 40.0f, 0.0f);
    const cv::Mat shadows = testsupport::preview_of(ctx);
    // A dark grey is mostly shadow: the shadow toning moves it further.
    EXPECT_GT(cv::norm(shadows, neutral, cv::NORM_L1), cv::norm(highlights, neutral, cv::NORM_L1));
}

// Each failure of the two context-free file functions names its reason.
TEST(FileFunctions, FailuresSayWhy) {
    const std::string missing_raw = temp_path("missing.dng"), missing_jpg = temp_path("missing.jpg");
    const std::string text = temp_path("text.dng"), bare = temp_path("bare.dng"), bad = temp_path("badthumb.dng");
    ASSERT_TRUE(testsupport::write_bytes(text, std::vector<uint8_t>(4096, 'x')));
    testsupport::DngOptions o;
    ASSERT_TRUE(testsupport::write_dng(bare, o));
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.jpeg_bytes = {0xFF, 0xD8, 0xFF};  // LibRaw cannot make a thumbnail of this
    o.jpeg_bytes.resize(1024);
    ASSERT_TRUE(testsupport::write_dng(bad, o));
    // Each row is tried with vantorix_extract_thumbnail, then (unless thumb_only) vantorix_phash; the message is
    // the start of vantorix_last_file_error.
    const struct { std::string path; int code; std::string message; bool thumb_only; } rows[] = {
        {missing_raw, -1, "cannot read '" + missing_raw + "': No such file or directory", false},
        {text, -1, "LibRaw open_file failed: Unsupported file format or not RAW file", true},
        {missing_jpg, -1, "OpenCV could not read: " + missing_jpg, false},
        {bare, -2, "LibRaw unpack_thumb failed: ", false},
        {bad, -3, "LibRaw dcraw_make_mem_thumb failed: ", false}};
    for (const auto& row : rows) for (const bool thumb : {true, false}) {
        if (!thumb && row.thumb_only) continue;
        uint8_t* data = nullptr;
        uint32_t size = 0;
        uint64_t hash = 1;
        const int code = thumb ? vantorix_extract_thumbnail(row.path.c_str(), &data, &size)
                               : vantorix_phash(row.path.c_str(), &hash);
        vantorix_free_thumb(data);
        EXPECT_EQ(code, row.code) << row.path;
        const std::string why = vantorix_last_file_error();
        EXPECT_EQ(why.substr(0, row.message.size()), row.message) << row.path << ": " << why;
        EXPECT_GT(why.size(), std::string("LibRaw open_file failed: ").size()) << row.path << ": no reason";
    }
}

// A RAW file with damaged data: LibRaw's report of the damage stays off
// stderr while its thumbnail is read, and OpenCV's log is off in quiet mode.
TEST(QuietMode, ASuccessfulRunWritesNothingToStderr) {
    REQUIRE_CORPUS();
    const std::string nef = CORPUS_FILE("raw/neg_exiftool_Nikon.nef");
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    vantorix_set_quiet(1);
    testsupport::Context ctx;
    testing::internal::CaptureStderr();
    const int loaded = vantorix_load_arw(ctx, crw.c_str(), 4);
    const int developed = loaded == 0 ? vantorix_process(ctx) : -1;
    uint64_t hash = 0;
    vantorix_phash(nef.c_str(), &hash);
    const std::string err = testing::internal::GetCapturedStderr();
    vantorix_set_quiet(0);
    EXPECT_EQ(developed, 0) << vantorix_last_error(ctx);  // the load's or the development's failure
    EXPECT_EQ(err, "");
}

}  // namespace
