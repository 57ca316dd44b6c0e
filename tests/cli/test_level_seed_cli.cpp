// The command line's use of the level finder and the segmentation seeds.
#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

using testsupport::Context;
using testsupport::run_cli;

namespace {

// Dark bands on a light ground, turned 2 degrees counter-clockwise.
std::string banded_picture() {
    const std::string path = testsupport::temp_path("cli_level_bands.png");
    cv::Mat img(700, 1000, CV_8UC3, cv::Scalar(200, 200, 200));
    for (int y = 50; y < 700; y += 80) cv::rectangle(img, cv::Rect(0, y, 1000, 30), cv::Scalar(50, 50, 50), cv::FILLED);
    cv::warpAffine(img, img, cv::getRotationMatrix2D(cv::Point2f(500, 350), 2.0, 1.0), img.size(), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    testsupport::write_image(path, img(cv::Rect(100, 100, 800, 500)).clone());
    return path;
}

std::string flat_picture() {
    const std::string path = testsupport::temp_path("cli_level_flat.png");
    testsupport::write_image(path, cv::Mat(300, 400, CV_8UC3, cv::Scalar(30, 120, 90)));
    return path;
}

}  // namespace

TEST(LevelSeedCli, AutoJsonReportsLevel) {
    const struct {
        std::string picture;
        const char* status;
    } rows[] = {{banded_picture(), "ok"}, {flat_picture(), "no evidence"}};
    for (const auto& r : rows) {
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, r.picture.c_str(), 1), 0);
        float rotation, confidence;
        ASSERT_GE(vantorix_auto_level(ctx, &rotation, &confidence), 0);
        std::string out, err;
        ASSERT_EQ(run_cli("auto '" + r.picture + "' --json", &out, &err), 0) << err;
        char expected[160];
        std::snprintf(expected, sizeof expected, "\"level\": {\"status\": \"%s\", \"rotation\": ", r.status);
        const size_t at = out.find(expected);
        ASSERT_NE(at, std::string::npos) << out;
        const size_t value = at + std::strlen(expected);
        EXPECT_EQ(std::strtof(out.c_str() + value, nullptr), rotation) << out;
        const size_t conf = out.find("\"confidence\": ", value);
        ASSERT_NE(conf, std::string::npos) << out;
        EXPECT_EQ(std::strtof(out.c_str() + conf + 14, nullptr), confidence) << out;
    }
}

TEST(LevelSeedCli, AutoStraightenAppliesOrDeclines) {
    const struct {
        std::string picture;
        const char* extra;  // settings that give the same picture by hand
        bool declined;
    } rows[] = {{banded_picture(), nullptr, false}, {flat_picture(), "", true}};
    for (const auto& r : rows) {
        const std::string a = testsupport::temp_path("cli_level_a.tif"), b = testsupport::temp_path("cli_level_b.tif");
        std::string err;
        ASSERT_EQ(run_cli("develop '" + r.picture + "' '" + a + "' --auto-straighten", nullptr, &err), 0) << err;
        EXPECT_EQ(err.find("auto straighten declined (no evidence); the rotation stays as it was") != std::string::npos,
                  r.declined)
            << err;
        std::string by_hand = r.extra ? r.extra : "";
        if (!r.extra) {
            Context ctx;
            ASSERT_EQ(vantorix_load_arw(ctx, r.picture.c_str(), 1), 0);
            float rotation, confidence;
            ASSERT_EQ(vantorix_auto_level(ctx, &rotation, &confidence), 0);
            EXPECT_NEAR(rotation, -2.0f, 0.1f);
            char buf[64];
            std::snprintf(buf, sizeof buf, "--rotate %.9g", static_cast<double>(rotation));
            by_hand = buf;
        }
        ASSERT_EQ(run_cli("develop '" + r.picture + "' '" + b + "' " + by_hand, nullptr, &err), 0) << err;
        EXPECT_TRUE(testsupport::identical(cv::imread(a, cv::IMREAD_UNCHANGED), cv::imread(b, cv::IMREAD_UNCHANGED)));
    }
}

TEST(LevelSeedCli, CutoutSeeds) {
    const std::string in = testsupport::temp_path("cli_seed_in.png");
    cv::Mat img(240, 320, CV_8UC3, cv::Scalar(160, 120, 50));
    cv::RNG(2).fill(img, cv::RNG::UNIFORM, 0, 40);
    img += cv::Scalar(160, 120, 50);
    cv::ellipse(img, cv::Point(230, 110), cv::Size(70, 55), 0, 0, 360, cv::Scalar(40, 110, 220), cv::FILLED);
    testsupport::write_image(in, img);
    const std::string out = testsupport::temp_path("cli_seed_out.png");
    const struct {
        const char* options;
        int (*seed)(EngineContext*);
    } rows[] = {
        {"", [](EngineContext* c) { return vantorix_segment_subject_auto(c); }},
        {" --box 0.45,0.15,0.5,0.6", [](EngineContext* c) { return vantorix_segment_subject_box(c, 0.45f, 0.15f, 0.5f, 0.6f); }},
        {" --center 0.7,0.45", [](EngineContext* c) { return vantorix_segment_subject(c, 0.7f, 0.45f); }},
    };
    for (const auto& r : rows) {
        std::string err;
        ASSERT_EQ(run_cli("cutout '" + in + "' '" + out + "'" + r.options, nullptr, &err), 0) << err;
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
        ASSERT_EQ(r.seed(ctx), 0);
        cv::Mat mask(240, 320, CV_8UC1);
        ASSERT_EQ(vantorix_get_mask(ctx, mask.data, static_cast<int>(mask.total())), 0);
        cv::Mat alpha;
        cv::extractChannel(cv::imread(out, cv::IMREAD_UNCHANGED), alpha, 3);
        EXPECT_TRUE(testsupport::identical(alpha, mask)) << r.options;
    }
    std::string err;
    EXPECT_EQ(run_cli("cutout '" + in + "' '" + out + "' --center 0.5,0.5 --box 0,0,1,1", nullptr, &err), 2);
    EXPECT_NE(err.find("--center and --box cannot be used together"), std::string::npos) << err;
    EXPECT_EQ(run_cli("cutout '" + in + "' '" + out + "' --box 0,0,1", nullptr, &err), 2);
    EXPECT_EQ(run_cli("develop '" + in + "' '" + out + "' --bg-blur 30 --box 1.5,0,0.5,0.5", nullptr, &err), 1);
    EXPECT_NE(err.find("subject box is empty or outside the image"), std::string::npos) << err;
}
