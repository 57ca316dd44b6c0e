// The preview's background blur after geometry settings: the subject mask is
// moved with the picture, so the blur stays off the subject.
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "output/histogram.h"
#include "support/test_support.h"

using testsupport::Context;

namespace {

constexpr int kW = 600, kH = 400;
const cv::Point2f kDisc(200.0f, 150.0f);
constexpr float kRadius = 70.0f;

// Fine random texture everywhere, so any blur changes nearly every pixel.
cv::Mat busy_image() {
    cv::RNG rng(5);
    cv::Mat img(kH, kW, CV_8UC3);
    rng.fill(img, cv::RNG::UNIFORM, 0, 256);
    return img;
}

}  // namespace

TEST(BlurFollowsGeometry, SharpInsideBlurredOutside) {
    const std::string path = testsupport::temp_path("follow.png");
    testsupport::write_image(path, busy_image());
    cv::Mat disc = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::circle(disc, kDisc, static_cast<int>(kRadius), cv::Scalar(255), cv::FILLED);

    const double a = 20.0 * CV_PI / 180.0;  // counter-clockwise on screen, about the frame's centre
    const float dx = kDisc.x - kW * 0.5f, dy = kDisc.y - kH * 0.5f;
    const struct {
        const char* name;
        void (*configure)(EngineContext*);
        cv::Point2f centre;  // of the subject in the developed picture, by hand
    } rows[] = {
        {"rotate+crop",
         [](EngineContext* c) {
             vantorix_set_rotation(c, 20.0f);
             vantorix_set_crop(c, 0.1f, 0.05f, 0.8f, 0.9f);
         },
         {static_cast<float>(kW * 0.5 + dx * std::cos(a) + dy * std::sin(a)) - 60.0f,
          static_cast<float>(kH * 0.5 - dx * std::sin(a) + dy * std::cos(a)) - 20.0f}},
        {"flips+crop",
         [](EngineContext* c) {
             vantorix_set_flip_h(c, 1);
             vantorix_set_flip_v(c, 1);
             vantorix_set_crop(c, 0.25f, 0.0f, 0.75f, 1.0f);
         },
         {kW - 1 - kDisc.x - 150.0f, kH - 1 - kDisc.y}},
    };
    for (const auto& r : rows) {
        Context ctx;
        ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
        EngineContext* e = ctx;
        e->subject_mask = disc.clone();
        e->mask_ready = true;
        r.configure(ctx);
        const cv::Mat sharp = testsupport::preview_of(ctx);
        vantorix_set_bg_blur(ctx, 60.0f);
        const cv::Mat blurred = testsupport::preview_of(ctx);
        ASSERT_EQ(blurred.size(), sharp.size()) << r.name;
        long inside = 0, inside_same = 0, outside = 0, outside_same = 0;
        for (int y = 0; y < sharp.rows; ++y)
            for (int x = 0; x < sharp.cols; ++x) {
                const float d = std::hypot(x - r.centre.x, y - r.centre.y);
                const bool same = sharp.at<cv::Vec4b>(y, x) == blurred.at<cv::Vec4b>(y, x);
                if (d < kRadius - 6.0f) inside += 1, inside_same += same;
                if (d > kRadius + 10.0f) outside += 1, outside_same += same;
            }
        EXPECT_EQ(inside_same, inside) << r.name;  // the subject stays sharp
        EXPECT_LT(outside_same, outside / 20) << r.name;  // the rest is blurred
        EXPECT_TRUE(testsupport::identical(e->subject_mask, disc)) << r.name;  // the stored mask is untouched
    }
}

TEST(BlurFollowsGeometry, MaskOnDevelopment) {
    cv::Mat mask(40, 60, CV_8UC1);
    cv::RNG(3).fill(mask, cv::RNG::UNIFORM, 0, 256);
    const cv::Mat stored = mask.clone();
    vantorix::Adjustments neutral, flipped;
    flipped.flip_h = 1;
    cv::Mat stretched, mirrored;
    cv::resize(mask, stretched, cv::Size(90, 50), 0, 0, cv::INTER_LINEAR);  // as the preview has always done
    cv::flip(mask, mirrored, 1);
    const struct {
        const vantorix::Adjustments* adj;
        cv::Size working;
        cv::Mat expected;
    } rows[] = {
        {&neutral, mask.size(), stored},
        {&neutral, cv::Size(90, 50), stretched},
        {&flipped, mask.size(), mirrored},
    };
    for (const auto& r : rows) {
        EXPECT_TRUE(testsupport::identical(vantorix::mask_on_development(mask, r.working, *r.adj), r.expected));
        EXPECT_TRUE(testsupport::identical(mask, stored));
    }
}
