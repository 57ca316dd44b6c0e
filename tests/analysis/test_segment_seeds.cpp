// The automatic and the box seed of the subject segmentation.
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "analysis/segmentation.h"
#include "support/test_support.h"

using testsupport::Context;

TEST(SegmentSeeds, AutoSeedLabels) {
    cv::Mat labels(60, 100, CV_8UC1, cv::Scalar(0));
    vantorix::subject_seed_mask(labels);
    // Band 100/20 = 5 columns and 60/20 = 3 rows; ellipse at (50, 30) with semi-axes 30 and 18.
    const struct {
        int x, y, label;
    } rows[] = {
        {0, 0, cv::GC_BGD},     {4, 30, cv::GC_BGD},    {95, 30, cv::GC_BGD},  {50, 2, cv::GC_BGD},
        {50, 57, cv::GC_BGD},   {5, 30, cv::GC_PR_BGD}, {50, 3, cv::GC_PR_BGD}, {94, 56, cv::GC_PR_BGD},
        {50, 30, cv::GC_PR_FGD}, {80, 30, cv::GC_PR_FGD}, {82, 30, cv::GC_PR_BGD}, {50, 48, cv::GC_PR_FGD},
        {50, 50, cv::GC_PR_BGD},
    };
    for (const auto& r : rows) EXPECT_EQ(labels.at<uchar>(r.y, r.x), r.label) << r.x << "," << r.y;
}

TEST(SegmentSeeds, BoxValidityAndPixels) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float x, y, w, h;
        bool valid;
        cv::Rect rect;  // in a 100 x 80 copy
    } rows[] = {
        {0.2f, 0.25f, 0.5f, 0.5f, true, {20, 20, 50, 40}},
        {0.0f, 0.0f, 1.0f, 1.0f, true, {1, 1, 98, 78}},        // kept one pixel clear of the edges
        {-0.5f, 0.5f, 0.6f, 2.0f, true, {1, 40, 9, 39}},       // clipped to the frame
        {0.201f, 0.2f, 0.001f, 0.001f, true, {20, 16, 1, 1}},  // thin: still one pixel
        {0.0f, 0.0f, 0.0f, 1.0f, false, {}},
        {0.0f, 0.0f, 1.0f, -1.0f, false, {}},
        {1.0f, 0.0f, 0.5f, 0.5f, false, {}},
        {0.0f, 1.5f, 0.5f, 0.5f, false, {}},
        {-0.5f, 0.0f, 0.5f, 1.0f, false, {}},  // ends where the frame begins
        {nan, 0.0f, 0.5f, 0.5f, false, {}},
        {0.0f, 0.0f, std::numeric_limits<float>::infinity(), 0.5f, false, {}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vantorix::subject_box_valid(r.x, r.y, r.w, r.h), r.valid) << r.x << " " << r.y << " " << r.w;
        if (r.valid) {
            EXPECT_EQ(vantorix::subject_box_rect(100, 80, r.x, r.y, r.w, r.h), r.rect) << r.x << " " << r.y;
        }
    }
}

namespace {

// A striped orange subject (ellipse) on a textured blue background, off-centre and
// cut by the right edge; returns the truth (255 subject).
cv::Mat subject_scene(cv::Mat& truth) {
    const cv::Size size(640, 480);
    cv::RNG rng(11);
    cv::Mat img(size, CV_8UC3), noise(size, CV_8UC3);
    img.setTo(cv::Scalar(160, 120, 50));
    for (int x = 0; x < size.width; x += 23) cv::line(img, {x, 0}, {x + 60, size.height}, cv::Scalar(120, 150, 70), 4);
    truth = cv::Mat::zeros(size, CV_8UC1);
    cv::ellipse(truth, cv::Point(520, 260), cv::Size(150, 130), 20.0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::Mat subject(size, CV_8UC3, cv::Scalar(40, 110, 220));
    for (int y = 0; y < size.height; y += 12) cv::line(subject, {0, y}, {size.width, y + 30}, cv::Scalar(30, 60, 150), 3);
    subject.copyTo(img, truth);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 30);
    return img + noise;
}

double iou(EngineContext* ctx, const cv::Mat& truth) {
    cv::Mat m(truth.size(), CV_8UC1);
    if (vantorix_get_mask(ctx, m.data, static_cast<int>(m.total())) != 0) return -1.0;
    const cv::Mat a = m >= 128, b = truth != 0;
    return static_cast<double>(cv::countNonZero(a & b)) / cv::countNonZero(a | b);
}

}  // namespace

// The subject reaches the right edge, far from the centre: the centred
// rectangle misses most of it, the automatic seed and a box find it.
TEST(SegmentSeeds, SeedsOnAnOffCentreSubject) {
    cv::Mat truth;
    const std::string path = testsupport::temp_path("seed_scene.png");
    testsupport::write_image(path, subject_scene(truth));
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const double centre = iou(ctx, truth);
    ASSERT_EQ(vantorix_segment_subject_auto(ctx), 0) << vantorix_last_error(ctx);
    const double automatic = iou(ctx, truth);
    const cv::Rect b = cv::boundingRect(truth);
    ASSERT_EQ(vantorix_segment_subject_box(ctx, b.x / 640.0f, b.y / 480.0f, b.width / 640.0f, b.height / 480.0f), 0);
    const double boxed = iou(ctx, truth);
    std::printf("IoU: centred rectangle %.3f, automatic seed %.3f, box %.3f\n", centre, automatic, boxed);
    EXPECT_LT(centre, 0.5);
    EXPECT_GT(automatic, 0.85);
    EXPECT_GT(boxed, 0.9);
}

TEST(SegmentSeeds, Failures) {
    Context ctx;
    EXPECT_EQ(vantorix_segment_subject_auto(nullptr), -1);
    EXPECT_EQ(vantorix_segment_subject_box(nullptr, 0.1f, 0.1f, 0.5f, 0.5f), -1);
    EXPECT_EQ(vantorix_segment_subject_auto(ctx), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(vantorix_segment_subject_box(ctx, 0.1f, 0.1f, 0.5f, 0.5f), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");

    // A failure keeps the earlier mask.
    cv::Mat truth;
    const std::string path = testsupport::temp_path("seed_fail.png");
    testsupport::write_image(path, subject_scene(truth));
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject_auto(ctx), 0);
    const double before = iou(ctx, truth);
    EXPECT_EQ(vantorix_segment_subject_box(ctx, 0.5f, 0.5f, 0.0f, 0.2f), -3);
    EXPECT_STREQ(vantorix_last_error(ctx), "subject box is empty or outside the image");
    EXPECT_EQ(vantorix_segment_subject_box(ctx, 1.2f, 0.5f, 0.3f, 0.2f), -3);
    const std::string tiny = testsupport::temp_path("seed_tiny.png");
    testsupport::write_image(tiny, cv::Mat(2, 2, CV_8UC3, cv::Scalar(9, 9, 9)));
    ASSERT_EQ(vantorix_load_arw(ctx, tiny.c_str(), 1), 0);
    EXPECT_EQ(vantorix_segment_subject_auto(ctx), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");
    EXPECT_EQ(vantorix_segment_subject_box(ctx, 0.0f, 0.0f, 1.0f, 1.0f), -2);
    EXPECT_EQ(iou(ctx, truth), before);
}
