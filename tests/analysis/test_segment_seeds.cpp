// The automatic and the box seed of the subject segmentation, and GrabCut run
// one iteration at a time.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/segmentation.h"
#include "support/test_support.h"

TEST(SegmentSeeds, BoxInPixels) {
    const struct {
        float x, y, w, h;
        cv::Rect rect;  // in a 100 x 80 copy; empty: refused
    } rows[] = {{0.2f, 0.25f, 0.5f, 0.5f, {20, 20, 50, 40}},  {0.0f, 0.0f, 1.0f, 1.0f, {1, 1, 98, 78}},
                {-0.5f, 0.5f, 0.6f, 2.0f, {1, 40, 9, 39}},    {0.201f, 0.2f, 0.001f, 0.001f, {20, 16, 1, 1}},
                {0.0f, 0.0f, 0.0f, 1.0f, {}},                 {1.0f, 0.0f, 0.5f, 0.5f, {}},
                {-0.5f, 0.0f, 0.5f, 1.0f, {}},                {NAN, 0.0f, 0.5f, 0.5f, {}}};
    for (const auto& r : rows) {
        EXPECT_EQ(vantorix::subject_box_valid(r.x, r.y, r.w, r.h), !r.rect.empty()) << r.rect;
        if (!r.rect.empty()) {
            EXPECT_EQ(vantorix::subject_box_rect(100, 80, r.x, r.y, r.w, r.h), r.rect);
        }
    }
}

// A striped subject cut by the right edge, far from the centre: the centred
// rectangle misses it, the automatic seed and a box find it.
TEST(SegmentSeeds, OffCentreSubjectAndFailures) {
    cv::Mat img(480, 640, CV_8UC3, cv::Scalar(160, 120, 50)), subject(480, 640, CV_8UC3, cv::Scalar(40, 110, 220));
    for (int x = 0; x < 640; x += 23) cv::line(img, {x, 0}, {x + 60, 480}, cv::Scalar(120, 150, 70), 4);
    for (int y = 0; y < 480; y += 12) cv::line(subject, {0, y}, {640, y + 30}, cv::Scalar(30, 60, 150), 3);
    cv::Mat truth = cv::Mat::zeros(480, 640, CV_8UC1), noise(480, 640, CV_8UC3);
    cv::ellipse(truth, {520, 260}, {150, 130}, 20.0, 0, 360, cv::Scalar(255), cv::FILLED);
    subject.copyTo(img, truth);
    cv::RNG(11).fill(noise, cv::RNG::UNIFORM, 0, 30);
    const std::string path = testsupport::temp_path("seed_scene.png"), tiny = testsupport::temp_path("seed_tiny.png");
    testsupport::write_image(path, img + noise);
    testsupport::write_image(tiny, cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(9)));

    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    const auto iou = [&]() {
        cv::Mat m(480, 640, CV_8UC1);
        EXPECT_EQ(vantorix_get_mask(ctx, m.data, 480 * 640), 0);
        return static_cast<double>(cv::countNonZero((m >= 128) & truth)) / cv::countNonZero((m >= 128) | truth);
    };
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    EXPECT_LT(iou(), 0.5);
    ASSERT_EQ(vantorix_segment_subject_box(ctx, 370 / 640.f, 120 / 480.f, 0.42f, 0.6f), 0);
    EXPECT_GT(iou(), 0.9);
    ASSERT_EQ(vantorix_segment_subject_auto(ctx), 0);
    const double automatic = iou();
    EXPECT_GT(automatic, 0.85);

    // Failures keep the earlier mask.
    EXPECT_EQ(vantorix_segment_subject_box(ctx, 0.5f, 0.5f, 0.0f, 0.2f), -3);
    EXPECT_STREQ(vantorix_last_error(ctx), "subject box is empty or outside the image");
    ASSERT_EQ(vantorix_load_arw(ctx, tiny.c_str(), 1), 0);
    EXPECT_EQ(vantorix_segment_subject_auto(ctx), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");
    EXPECT_EQ(iou(), automatic);
}

// Segmentation runs GrabCut one iteration per call (to report progress in
// between); that must give the labels and colour models of one five-iteration
// call, for a rectangle seed and a mask seed, on a real photograph.
TEST(GrabCutStepwise, SameAsOneCallOfFiveIterations) {
    REQUIRE_CORPUS();
    cv::Mat bgr = cv::imread(CORPUS_FILE("jpeg/sony_slt-a57_DSC8833.JPG"), cv::IMREAD_COLOR);
    cv::resize(bgr, bgr, cv::Size(), 512.0 / bgr.cols, 512.0 / bgr.cols, cv::INTER_AREA);
    for (int mode : {cv::GC_INIT_WITH_RECT, cv::GC_INIT_WITH_MASK}) {
        const cv::Rect rect = vantorix::subject_seed_rect(bgr.cols, bgr.rows, 0.8f, 0.4f);
        cv::Mat once(bgr.size(), CV_8UC1, cv::Scalar(0)), bg1, fg1, bg2, fg2;
        if (mode == cv::GC_INIT_WITH_MASK) vantorix::subject_seed_mask(once);
        cv::Mat steps = once.clone();
        {
            vantorix::ScopedRngState fixed(vantorix::kGrabCutRngState);
            cv::grabCut(bgr, once, rect, bg1, fg1, vantorix::kGrabCutIterations, mode);
        }
        vantorix::ScopedRngState fixed(vantorix::kGrabCutRngState);
        for (int i = 0; i < vantorix::kGrabCutIterations; ++i)
            cv::grabCut(bgr, steps, rect, bg2, fg2, 1, i ? cv::GC_EVAL : mode);
        EXPECT_TRUE(testsupport::identical(once, steps) && testsupport::identical(bg1, bg2) &&
                    testsupport::identical(fg1, fg2)) << "mode " << mode;
    }
}
