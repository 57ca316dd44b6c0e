// The preview's background blur after a rotation and a crop: the subject mask
// moves with the picture, so the blur stays off the subject.
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "support/test_support.h"

TEST(BlurFollowsGeometry, SharpSubjectBlurredRest) {
    cv::Mat img(400, 600, CV_8UC3), disc = cv::Mat::zeros(400, 600, CV_8UC1);
    cv::RNG(5).fill(img, cv::RNG::UNIFORM, 0, 256);  // any blur changes nearly every pixel
    cv::circle(disc, {200, 150}, 70, cv::Scalar(255), cv::FILLED);
    const std::string path = testsupport::temp_path("follow.png");
    testsupport::write_image(path, img);
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    EngineContext* e = ctx;
    e->subject_mask = disc.clone();
    e->mask_ready = true;
    vantorix_set_rotation(ctx, 20.0f);  // counter-clockwise about (300, 200)
    vantorix_set_crop(ctx, 0.1f, 0.05f, 0.8f, 0.9f);  // from (60, 20)
    const cv::Mat sharp = testsupport::preview_of(ctx);
    vantorix_set_bg_blur(ctx, 60.0f);
    const cv::Mat blurred = testsupport::preview_of(ctx);
    ASSERT_EQ(blurred.size(), cv::Size(480, 360));

    const double a = 20.0 * CV_PI / 180.0;  // the disc's centre (200, 150) in the developed picture
    const double cx = 300 - 100 * std::cos(a) - 50 * std::sin(a) - 60, cy = 200 + 100 * std::sin(a) - 50 * std::cos(a) - 20;
    long inside = 0, inside_same = 0, outside = 0, outside_same = 0;
    for (int y = 0; y < sharp.rows; ++y)
        for (int x = 0; x < sharp.cols; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const bool same = sharp.at<cv::Vec4b>(y, x) == blurred.at<cv::Vec4b>(y, x);
            if (d < 64) inside += 1, inside_same += same;
            if (d > 80) outside += 1, outside_same += same;
        }
    EXPECT_EQ(inside_same, inside);         // the subject stays sharp
    EXPECT_LT(outside_same, outside / 20);  // the rest is blurred
    EXPECT_TRUE(testsupport::identical(e->subject_mask, disc));  // the stored mask is untouched
}
