// Segmentation runs GrabCut one iteration per call (to report progress in
// between); that must give the labels and colour models of one five-iteration
// call, on real photographs and off-centre seeds.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/segmentation.h"
#include "support/test_support.h"

TEST(GrabCutStepwise, SameAsOneCallOfFiveIterations) {
    REQUIRE_CORPUS();
    const char* const files[] = {"jpeg/sony_slt-a57_DSC8833.JPG"};
    for (const char* file : files) {
        cv::Mat bgr = cv::imread(CORPUS_FILE(file), cv::IMREAD_COLOR);
        ASSERT_FALSE(bgr.empty()) << file;
        const float s = 512.0f / static_cast<float>(std::max(bgr.cols, bgr.rows));
        cv::resize(bgr, bgr, cv::Size(), s, s, cv::INTER_AREA);
        for (float cx : {-1.0f, 0.8f}) {
            SCOPED_TRACE(std::string(file) + " centre " + std::to_string(cx));
            const cv::Rect rect = vantorix::subject_seed_rect(bgr.cols, bgr.rows, cx, 0.4f);
            cv::Mat once(bgr.size(), CV_8UC1, cv::Scalar(0)), steps = once.clone(), bg1, fg1, bg2, fg2;
            {
                vantorix::ScopedRngState fixed(vantorix::kGrabCutRngState);
                cv::grabCut(bgr, once, rect, bg1, fg1, vantorix::kGrabCutIterations, cv::GC_INIT_WITH_RECT);
            }
            {
                vantorix::ScopedRngState fixed(vantorix::kGrabCutRngState);
                for (int i = 0; i < vantorix::kGrabCutIterations; ++i)
                    cv::grabCut(bgr, steps, rect, bg2, fg2, 1, i ? cv::GC_EVAL : cv::GC_INIT_WITH_RECT);
            }
            EXPECT_TRUE(testsupport::identical(once, steps));
            EXPECT_TRUE(testsupport::identical(bg1, bg2));
            EXPECT_TRUE(testsupport::identical(fg1, fg2));
        }
    }
}
