// Segmentation runs GrabCut one iteration per call (to report progress in
// between); that must give the labels and colour models of one five-iteration
// call, for a rectangle seed and a mask seed, on a real photograph.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/segmentation.h"
#include "support/test_support.h"

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
