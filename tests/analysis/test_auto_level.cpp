// The level finder: sample folding, the decision rules on hand-made samples,
// and the public function on drawn scenes.
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "support/test_support.h"

using testsupport::Context;
using vantorix::LevelSample;

TEST(AutoLevel, SamplesFoldVerticalsAndDropDiagonals) {
    const struct {
        cv::Vec4f segment;
        bool kept;
        double angle;
    } rows[] = {
        {{0, 0, 100, 0}, true, 0.0},           // horizontal
        {{100, 0, 0, 0}, true, 0.0},           // drawn right to left: 180 folds to 0
        {{0, 0, 0, 100}, true, 0.0},           // vertical: 90 - 90
        {{0, 0, 100, 10}, true, 5.710593137},  // right end lower: clockwise tilt
        {{0, 0, -10, 100}, true, 5.710593137}, // the vertical of the same clockwise tilt
        {{0, 0, 10, 100}, true, -5.710593137},
        {{0, 0, 100, 100}, false, 0.0},        // 45 degrees
        {{0, 0, 100, 70}, false, 0.0},         // 35 degrees
        {{0, 0, 20, 0}, false, 0.0},           // 20 pixels is too short
    };
    for (const auto& r : rows) {
        const std::vector<LevelSample> s = vantorix::level_samples({r.segment});
        ASSERT_EQ(s.size(), r.kept ? 1u : 0u) << r.segment;
        if (r.kept) {
            EXPECT_NEAR(s[0].angle, r.angle, 1e-6) << r.segment;
            EXPECT_NEAR(s[0].weight, std::hypot(double(r.segment[2]) - r.segment[0], double(r.segment[3]) - r.segment[1]), 1e-9);
        }
    }
}

TEST(AutoLevel, DecisionOnSamples) {
    // confidence = (1 - exp(-S / 1.5)) (1 - ratio2); S = agreeing length / 800.
    const double c1000 = 1.0 - std::exp(-1000.0 / 800.0 / 1.5);  // 0.5654
    const struct {
        std::vector<LevelSample> samples;
        int status;
        double estimate, support, ratio2, confidence;
    } rows[] = {
        {{}, 1, 0.0, 0.0, 0.0, 0.0},
        {{{2.0, 1000}}, 0, 2.0, 1.25, 0.0, c1000},
        {{{2.0, 500}}, 1, 2.0, 0.625, 0.0, (1.0 - std::exp(-0.625 / 1.5))},
        {{{1.0, 1000}, {1.4, 1000}}, 0, 1.2, 2.5, 0.0, 1.0 - std::exp(-2.5 / 1.5)},  // both in the window
        {{{1.0, 1000}, {1.8, 200}}, 0, 1.0, 1.25, 0.0, c1000},  // 1.8 is outside, but no rival
        {{{2.0, 1000}, {-3.0, 600}}, 0, 2.0, 1.25, 0.6, c1000 * 0.4},
        {{{2.0, 1000}, {-3.0, 800}}, 2, 2.0, 1.25, 0.8, c1000 * 0.2},
        {{{-12.0, 1000}}, 3, -12.0, 1.25, 0.0, c1000},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        const vantorix::LevelResult got = vantorix::level_from_samples(r.samples);
        EXPECT_EQ(got.status, r.status) << "row " << i;
        EXPECT_NEAR(got.estimate, r.estimate, 1e-9) << "row " << i;
        EXPECT_NEAR(got.support, r.support, 1e-9) << "row " << i;
        EXPECT_NEAR(got.ratio2, r.ratio2, 1e-3) << "row " << i;  // kernel tails reach a little past 2 degrees
        EXPECT_NEAR(got.confidence, r.confidence, 1e-3) << "row " << i;
    }
    // A sample at exactly +30 degrees lands in the last bin (the histogram is [-30, 30)).
    const vantorix::LevelResult edge = vantorix::level_from_samples({{30.0, 1000}});
    EXPECT_EQ(edge.status, 3);
    EXPECT_DOUBLE_EQ(edge.estimate, 30.0);
}

namespace {

// A facade: floors and window columns, turned by `degrees` (counter-clockwise)
// and cut to its middle so no border remains.
cv::Mat facade(double degrees, bool verticals, bool crossing) {
    cv::Mat img(1000, 1400, CV_8UC3, cv::Scalar(180, 170, 160));
    for (int y = 150; y < 900; y += 90) cv::rectangle(img, cv::Rect(100, y, 1200, 25), cv::Scalar(60, 60, 70), cv::FILLED);
    if (verticals)
        for (int x = 150; x < 1300; x += 110) cv::rectangle(img, cv::Rect(x, 100, 20, 800), cv::Scalar(40, 50, 60), cv::FILLED);
    if (crossing)  // a second family of lines 8 degrees away from the floors, as long as them
        for (int y = 150; y < 900; y += 90)
            cv::line(img, cv::Point(100, y + 40), cv::Point(1300, y + 40 + 169), cv::Scalar(20, 20, 20), 12);
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(700, 500), degrees, 1.0);
    cv::Mat turned;
    cv::warpAffine(img, turned, m, img.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return turned(cv::Rect(200, 150, 1000, 700)).clone();
}

}  // namespace

TEST(AutoLevel, PublicFunctionOnScenes) {
    const struct {
        const char* name;
        cv::Mat image;
        int status;
        float rotation;
    } rows[] = {
        {"level", facade(0.0, true, false), 0, 0.0f},
        {"ccw3", facade(3.0, true, false), 0, -3.0f},
        {"cw6_only_verticals", facade(-6.0, true, false), 0, 6.0f},
        {"flat", cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 90, 90)), 1, 0.0f},
        {"ambiguous", facade(0.0, false, true), 2, 0.0f},
        {"ccw15", facade(15.0, true, false), 3, 0.0f},
    };
    for (const auto& r : rows) {
        const std::string path = testsupport::temp_path(std::string("level_") + r.name + ".png");
        testsupport::write_image(path, r.image);
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << r.name;
        float rotation = 99.0f, confidence = 99.0f;
        EXPECT_EQ(vantorix_auto_level(ctx, &rotation, &confidence), r.status) << r.name;
        EXPECT_NEAR(rotation, r.rotation, 0.15f) << r.name;
        if (r.status == 0) {
            EXPECT_GT(confidence, 0.3f) << r.name;
            EXPECT_LE(confidence, 1.0f) << r.name;
        } else {
            EXPECT_EQ(confidence, 0.0f) << r.name;
        }
    }
}

TEST(AutoLevel, Failures) {
    Context ctx;
    float r = 5.0f, c = 5.0f;
    EXPECT_EQ(vantorix_auto_level(nullptr, &r, &c), -1);
    EXPECT_EQ(vantorix_auto_level(ctx, nullptr, &c), -1);
    EXPECT_EQ(vantorix_auto_level(ctx, &r, nullptr), -1);
    EXPECT_EQ(vantorix_auto_level(ctx, &r, &c), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(r, 5.0f);
    EXPECT_EQ(c, 5.0f);
}
