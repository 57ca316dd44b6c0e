#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "test_auto_helpers.h"

using testsupport::Context;
using testsupport::run_cli;

namespace {

// A small picture with a tilted horizon, a bright subject and some clipping.
std::string sample_picture() {
    static const std::string path = [] {
        cv::Mat img(360, 540, CV_8UC3, cv::Scalar(235, 215, 190));
        const std::vector<cv::Point> ground = {{0, 170}, {540, 195}, {540, 360}, {0, 360}};
        cv::fillPoly(img, std::vector<std::vector<cv::Point>>{ground}, cv::Scalar(30, 80, 50));
        cv::circle(img, cv::Point(390, 110), 40, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::rectangle(img, cv::Rect(60, 240, 120, 80), cv::Scalar(0, 0, 0), cv::FILLED);
        const std::string p = testsupport::temp_path("cli_auto_sample.png");
        cv::imwrite(p, img);
        return p;
    }();
    return path;
}

// The number after "key": in a JSON text (first occurrence after `from`).
float json_number(const std::string& json, const std::string& key, size_t from = 0) {
    const std::string needle = "\"" + key + "\": ";
    const size_t at = json.find(needle, from);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos) return -12345.0f;
    return std::strtof(json.c_str() + at + needle.size(), nullptr);
}

cv::Mat read16(const std::string& path) { return cv::imread(path, cv::IMREAD_UNCHANGED); }

bool same(const cv::Mat& a, const cv::Mat& b) {
    return !a.empty() && a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// Develops the sample through the interface with `configure` and exports a TIFF.
cv::Mat develop_with(void (*configure)(EngineContext*), const std::string& name) {
    Context ctx;
    if (vantorix_load_arw(ctx, sample_picture().c_str(), 1) != 0) return cv::Mat();
    configure(ctx);
    const std::string out = testsupport::temp_path(name);
    if (vantorix_process(ctx) != 0 || vantorix_export_tiff(ctx, out.c_str()) != 0) return cv::Mat();
    return read16(out);
}

void apply_enhance(EngineContext* ctx) {
    AutoEnhanceResult r{};
    ASSERT_EQ(vantorix_auto_enhance(ctx, &r), 0);
    void (*const setters[19])(EngineContext*, float) = {
        vantorix_set_exposure,         vantorix_set_brightness,        vantorix_set_contrast,
        vantorix_set_highlights,       vantorix_set_shadows,           vantorix_set_whites,
        vantorix_set_blacks,           vantorix_set_temperature,       vantorix_set_tint,
        vantorix_set_saturation,       vantorix_set_vibrance,          vantorix_set_sharpening_amount,
        vantorix_set_sharpening_radius, vantorix_set_sharpening_threshold, vantorix_set_nr_luminance,
        vantorix_set_nr_color,         vantorix_set_clarity,           vantorix_set_texture,
        vantorix_set_dehaze};
    for (int i = 0; i < 19; ++i) setters[i](ctx, r.slots[i]);
}

}  // namespace

TEST(AutoCli, PrintsEveryProposal) {
    const std::string in = sample_picture();
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    float exposure, temperature, tint, angle, x, y, w, h;
    AutoEnhanceResult r{};
    ASSERT_EQ(vantorix_auto_exposure(ctx, &exposure), 0);
    ASSERT_EQ(vantorix_auto_white_balance(ctx, &temperature, &tint), 0);
    ASSERT_EQ(vantorix_auto_enhance(ctx, &r), 0);
    ASSERT_EQ(vantorix_auto_straighten(ctx, &angle), 0);
    ASSERT_EQ(vantorix_auto_crop(ctx, &x, &y, &w, &h), 0);
    EXPECT_GT(angle, 0.0f);  // the horizon falls to the right

    std::string out, err;
    ASSERT_EQ(run_cli("auto '" + in + "' --json", &out, &err), 0) << err;
    EXPECT_EQ(out.front(), '{');
    EXPECT_EQ(out.substr(out.size() - 2), "}\n");
    EXPECT_NE(out.find("\"file\": \"" + in + "\""), std::string::npos);
    EXPECT_EQ(json_number(out, "exposure"), exposure);
    EXPECT_EQ(json_number(out, "temperature"), 6500.0f);
    EXPECT_EQ(json_number(out, "tint"), 0.0f);
    EXPECT_EQ(json_number(out, "straighten"), angle);
    EXPECT_EQ(json_number(out, "x"), x);
    EXPECT_EQ(json_number(out, "y"), y);
    EXPECT_EQ(json_number(out, "w"), w);
    EXPECT_EQ(json_number(out, "h"), h);
    const size_t enh = out.find("\"enhance\": {");
    ASSERT_NE(enh, std::string::npos);
    const char* names[19] = {"exposure", "brightness", "contrast", "highlights", "shadows", "whites", "blacks",
                             "temperature", "tint", "saturation", "vibrance", "sharpen_amount", "sharpen_radius",
                             "sharpen_threshold", "nr_luminance", "nr_color", "clarity", "texture", "dehaze"};
    for (int i = 0; i < 19; ++i) EXPECT_EQ(json_number(out, names[i], enh), r.slots[i]) << names[i];

    ASSERT_EQ(run_cli("auto '" + in + "'", &out, &err), 0) << err;
    for (const char* word : {"exposure", "white balance", "straighten", "crop", "enhance", "nr_luminance"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
}

TEST(AutoCli, UsageAndLoadErrors) {
    std::string out, err;
    EXPECT_EQ(run_cli("auto", &out, &err), 2);
    EXPECT_NE(err.find("auto needs one input file"), std::string::npos) << err;
    EXPECT_EQ(run_cli("auto a.png b.png", &out, &err), 2);
    EXPECT_EQ(run_cli("auto '" + sample_picture() + "' --bogus", &out, &err), 2);
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos) << err;
    EXPECT_EQ(run_cli("auto '" + testsupport::temp_path("missing.png") + "' --json", &out, &err), 1);
    EXPECT_NE(err.find("cannot load"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());
}

// `develop --auto` develops with auto enhance's 19 proposals, then explicit
// options on top; --auto-straighten and --auto-crop apply those proposals.
TEST(AutoCli, DevelopWithProposals) {
    const std::string in = sample_picture();
    std::string err;
    const std::string out1 = testsupport::temp_path("cli_auto1.tif");
    ASSERT_EQ(run_cli("develop '" + in + "' '" + out1 + "' --auto", nullptr, &err), 0) << err;
    EXPECT_TRUE(same(read16(out1), develop_with(apply_enhance, "api_auto1.tif")));

    const std::string out2 = testsupport::temp_path("cli_auto2.tif");
    ASSERT_EQ(run_cli("develop '" + in + "' '" + out2 + "' --exposure 0.5 --auto", nullptr, &err), 0) << err;
    EXPECT_TRUE(same(read16(out2), develop_with(
                                           [](EngineContext* c) {
                                               apply_enhance(c);
                                               vantorix_set_exposure(c, 0.5f);
                                           },
                                           "api_auto2.tif")));

    const std::string out3 = testsupport::temp_path("cli_auto3.tif");
    ASSERT_EQ(run_cli("develop '" + in + "' '" + out3 + "' --auto-straighten --auto-crop", nullptr, &err), 0) << err;
    const cv::Mat api3 = develop_with(
        [](EngineContext* c) {
            float a, conf, x, y, w, h;
            ASSERT_GE(vantorix_auto_level(c, &a, &conf), 0);
            ASSERT_EQ(vantorix_auto_crop(c, &x, &y, &w, &h), 0);
            if (a != 0.0f) vantorix_set_rotation(c, a);
            vantorix_set_crop(c, x, y, w, h);
        },
        "api_auto3.tif");
    const cv::Mat cli3 = read16(out3);
    EXPECT_TRUE(same(cli3, api3));

    // Once the geometry stage crops, the output has the proposed 3:2 size.
    const cv::Mat plain = develop_with([](EngineContext*) {}, "api_plain.tif");
    if (cli3.size() == plain.size()) GTEST_SKIP() << "the development pipeline does not crop yet";
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    float x, y, w, h;
    ASSERT_EQ(vantorix_auto_crop(ctx, &x, &y, &w, &h), 0);
    EXPECT_EQ(cli3.cols, std::min(540 - static_cast<int>(540 * x), static_cast<int>(540 * w)));
    EXPECT_EQ(cli3.rows, std::min(360 - static_cast<int>(360 * y), static_cast<int>(360 * h)));
    EXPECT_NEAR(static_cast<double>(cli3.cols) / cli3.rows, 1.5, 0.02);
}

// Known fault of the develop options, left to their owner: auto enhance
// proposes a sharpening radius of 0 (slot 12) and `--sharpen 60` sets only the
// amount, so `--auto --sharpen 60` develops without sharpening.
// --sharpen with only an amount restores the default radius, which --auto sets to 0.
TEST(AutoCli, AutoWithSharpenAmountSharpens) {
    const std::string in = sample_picture();
    std::string err;
    const std::string a = testsupport::temp_path("cli_auto_sharp_a.tif");
    const std::string b = testsupport::temp_path("cli_auto_sharp_b.tif");
    ASSERT_EQ(run_cli("develop '" + in + "' '" + a + "' --auto", nullptr, &err), 0) << err;
    ASSERT_EQ(run_cli("develop '" + in + "' '" + b + "' --auto --sharpen 60", nullptr, &err), 0) << err;
    EXPECT_FALSE(same(read16(a), read16(b)));
}
