// The level finder: the decision rules on hand-made samples, and the public
// function (folding of verticals included) on drawn scenes.
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "support/test_support.h"

TEST(AutoLevel, DecisionOnSamples) {
    const double c = 1.0 - std::exp(-1000.0 / 800.0 / 1.5);  // confidence at S = 1.25 without a rival
    // Each row: samples, then status, estimate, support, ratio2 and confidence.
    const struct { std::vector<vantorix::LevelSample> samples; double want[5]; } rows[] = {
        {{}, {1, 0.0, 0.0, 0.0, 0.0}}, {{{2.0, 500}}, {1, 2.0, 0.625, 0.0, 1.0 - std::exp(-0.625 / 1.5)}},
        {{{1.0, 1000}, {1.4, 1000}}, {0, 1.2, 2.5, 0.0, 1.0 - std::exp(-2.5 / 1.5)}},
        {{{1.0, 1000}, {1.8, 200}}, {0, 1.0, 1.25, 0.0, c}},  // 1.8 outside the window, yet no rival
        {{{2.0, 1000}, {-3.0, 600}}, {0, 2.0, 1.25, 0.6, c * 0.4}},
        {{{2.0, 1000}, {-3.0, 800}}, {2, 2.0, 1.25, 0.8, c * 0.2}},
        {{{30.0, 1000}}, {3, 30.0, 1.25, 0.0, c}},  // +30 falls in the last bin of [-30, 30)
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const vantorix::LevelResult r = vantorix::level_from_samples(rows[i].samples);
        const double got[] = {double(r.status), r.estimate, r.support, r.ratio2, r.confidence};
        for (int k = 0; k < 5; ++k)  // ratio2 and confidence: kernel tails reach just past 2 degrees
            EXPECT_NEAR(got[k], rows[i].want[k], k < 3 ? 1e-9 : 1e-3) << "row " << i << ", value " << k;
    }
}

// Floors and window columns (or two line families 8 degrees apart), turned
// `degrees` counter-clockwise and cut to the middle.
static cv::Mat facade(double degrees, bool crossing) {
    cv::Mat img(1000, 1400, CV_8UC3, cv::Scalar(180, 170, 160));
    for (int y = 150; y < 900; y += 90) cv::rectangle(img, cv::Rect(100, y, 1200, 25), {60, 60, 70}, -1);
    for (int y = 150; y < 900 && crossing; y += 90) cv::line(img, {100, y + 40}, {1300, y + 209}, {20, 20, 20}, 12);
    for (int x = 150; x < 1300 && !crossing; x += 110) cv::rectangle(img, cv::Rect(x, 100, 20, 800), {40, 50, 60}, -1);
    cv::warpAffine(img, img, cv::getRotationMatrix2D({700, 500}, degrees, 1.0), img.size(), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    return img(cv::Rect(200, 150, 1000, 700)).clone();
}

TEST(AutoLevel, PublicFunction) {
    const struct { cv::Mat image; int status; float rotation; } rows[] = {
        {facade(3.0, false), 0, -3.0f}, {facade(-6.0, false), 0, 6.0f}, {facade(0.0, true), 2, 0.0f},
        {cv::Mat(600, 800, CV_8UC3, cv::Scalar::all(90)), 1, 0.0f}, {facade(15.0, false), 3, 0.0f}};
    testsupport::Context ctx;
    float rotation = 99.0f, confidence = 99.0f;
    EXPECT_EQ(vantorix_auto_level(ctx, &rotation, &confidence), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(vantorix_auto_level(nullptr, &rotation, &confidence), -1);
    EXPECT_EQ(vantorix_auto_level(ctx, &rotation, nullptr), -1);
    EXPECT_EQ(rotation, 99.0f);
    for (size_t i = 0; i < std::size(rows); ++i) {
        testsupport::load_image(ctx, rows[i].image, "level_" + std::to_string(i) + ".png");
        EXPECT_EQ(vantorix_auto_level(ctx, &rotation, &confidence), rows[i].status) << "row " << i;
        EXPECT_NEAR(rotation, rows[i].rotation, 0.15f) << "row " << i;
        EXPECT_EQ(confidence > 0.3f && confidence <= 1.0f, rows[i].status == 0) << "row " << i << ": " << confidence;
    }
}
