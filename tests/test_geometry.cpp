// Geometry: flips, rotation, perspective and crop.
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pipeline/geometry_crop.h"
#include "pipeline/stages.h"
#include "support/test_support.h"

using testsupport::identical;
using testsupport::random_image;
using testsupport::reflect;

namespace {

using vantorix::Adjustments;
using vantorix::CropRect;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Red rises along x, green along y; blue and alpha random.
cv::Mat ramp_image(int w, int h) {
    cv::Mat img(h, w, CV_32FC4);
    cv::RNG rng(3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at<cv::Vec4f>(y, x) = cv::Vec4f(static_cast<float>(x) / static_cast<float>(w),
                                                static_cast<float>(y) / static_cast<float>(h),
                                                rng.uniform(0.0f, 1.0f), rng.uniform(0.0f, 1.0f));
    return img;
}

float bilinear(const cv::Mat& img, double u, double v, int c) {
    const double x0 = std::floor(u), y0 = std::floor(v);
    const double fx = u - x0, fy = v - y0;
    auto px = [&](double x, double y) {
        return static_cast<double>(
            img.at<cv::Vec4f>(reflect(static_cast<int>(y), img.rows), reflect(static_cast<int>(x), img.cols))[c]);
    };
    return static_cast<float>(px(x0, y0) * (1 - fx) * (1 - fy) + px(x0 + 1, y0) * fx * (1 - fy) +
                              px(x0, y0 + 1) * (1 - fx) * fy + px(x0 + 1, y0 + 1) * fx * fy);
}

// The homography taking the four points `from` to `to`, solved by Gaussian
// elimination in double precision (h33 = 1).
cv::Matx33d homography(const cv::Point2d from[4], const cv::Point2d to[4]) {
    double a[8][9] = {};
    for (int i = 0; i < 4; ++i) {
        const double x = from[i].x, y = from[i].y, u = to[i].x, v = to[i].y;
        double r1[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        double r2[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
        std::memcpy(a[2 * i], r1, sizeof r1);
        std::memcpy(a[2 * i + 1], r2, sizeof r2);
    }
    for (int col = 0; col < 8; ++col) {
        int piv = col;
        for (int r = col + 1; r < 8; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
        for (int k = 0; k < 9; ++k) std::swap(a[col][k], a[piv][k]);
        for (int r = 0; r < 8; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (int k = col; k < 9; ++k) a[r][k] -= f * a[col][k];
        }
    }
    double h[8];
    for (int i = 0; i < 8; ++i) h[i] = a[i][8] / a[i][i];
    return cv::Matx33d(h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7], 1.0);
}

Adjustments crop_only(float x, float y, float w, float h) {
    Adjustments adj;
    adj.crop = CropRect{x, y, w, h};
    return adj;
}

}  // namespace

TEST(Geometry, NeutralSettingsKeepTheImage) {
    const cv::Mat src = random_image(30, 20, 1);
    cv::Mat img = src;
    vantorix::apply_geometry(img, Adjustments());
    EXPECT_EQ(img.data, src.data);
    // The full frame given explicitly is no crop either: not even a copy.
    for (const CropRect& c : {CropRect{0, 0, 1, 1}, CropRect{0, 0, 0.995f, 1}, CropRect{0, 0, 1, 0.99f},
                              CropRect{0.2f, 0.2f, 0, 0.5f}, CropRect{0.2f, 0.2f, 0.5f, -1}}) {
        img = src;
        Adjustments adj;
        adj.crop = c;
        vantorix::apply_geometry(img, adj);
        EXPECT_EQ(img.data, src.data) << c.x << " " << c.y << " " << c.w << " " << c.h;
        EXPECT_EQ(img.size(), src.size());
    }
}

TEST(Geometry, FlipsMirrorExactly) {
    const cv::Mat src = random_image(7, 5, 2);
    Adjustments adj;
    adj.flip_h = 1;
    cv::Mat h = src.clone();
    vantorix::apply_geometry(h, adj);
    adj = Adjustments();
    adj.flip_v = -3;  // any non-zero value flips
    cv::Mat v = src.clone();
    vantorix::apply_geometry(v, adj);
    adj.flip_h = 7;
    cv::Mat both = src.clone();
    vantorix::apply_geometry(both, adj);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(h.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(y, 6 - x));
            EXPECT_EQ(v.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(4 - y, x));
            // Both flips: a half turn, without resampling.
            EXPECT_EQ(both.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(4 - y, 6 - x));
        }
    cv::Mat turned;
    cv::rotate(src, turned, cv::ROTATE_180);
    EXPECT_TRUE(identical(both, turned));
}

TEST(Geometry, RotationByNinetyDegreesKeepsTheFrameWithMirrorFill) {
    // 64 x 32, centre (32, 16). Positive angles turn counter-clockwise: output
    // (x, y) shows input (cx + cy - y, x - cx + cy), mirrored at the edges.
    const cv::Mat src = random_image(64, 32, 4);
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.rotation = 90;
    vantorix::apply_geometry(img, adj);
    ASSERT_EQ(img.size(), src.size());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(img.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(reflect(x - 16, 32), reflect(48 - y, 64)))
                << x << "," << y;
    // The top-middle of the picture went to the left of the centre.
    EXPECT_EQ(img.at<cv::Vec4f>(16, 16), src.at<cv::Vec4f>(0, 32));
}

TEST(Geometry, SmallRotationMatchesTheRotationFormula) {
    const int W = 60, H = 40;
    const cv::Mat src = ramp_image(W, H);
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.rotation = 10;
    vantorix::apply_geometry(img, adj);
    const double a = 10 * CV_PI / 180, cx = 30, cy = 20;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // Inverse of a counter-clockwise turn (y axis pointing down).
            const double u = cx + std::cos(a) * (x - cx) - std::sin(a) * (y - cy);
            const double v = cy + std::sin(a) * (x - cx) + std::cos(a) * (y - cy);
            for (int c = 0; c < 2; ++c)
                ASSERT_NEAR(img.at<cv::Vec4f>(y, x)[c], bilinear(src, u, v, c), 1.0 / 32 / 40 + 1e-5)
                    << x << "," << y;
        }
}

TEST(Geometry, PerspectiveMovesTheCornersAsSpecified) {
    const int W = 64, H = 48;
    const cv::Mat src = ramp_image(W, H);
    const std::pair<float, float> settings[] = {{40, 0}, {-60, 0}, {0, 50}, {100, -30}};
    for (auto [sh, sv] : settings) {
        SCOPED_TRACE(::testing::Message() << "perspective " << sh << ", " << sv);
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.perspective_h = sh;
        adj.perspective_v = sv;
        vantorix::apply_geometry(img, adj);
        ASSERT_EQ(img.size(), src.size());
        const double ph = sh / 100.0 * 0.15, pv = sv / 100.0 * 0.15;
        const cv::Point2d frame[4] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
        const cv::Point2d shape[4] = {
            {ph * W, pv * H}, {W - ph * W, pv * H}, {W + ph * W, H - pv * H}, {-ph * W, H - pv * H}};
        // Output pixels read the input through the inverse mapping shape -> frame.
        const cv::Matx33d back = homography(shape, frame);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const cv::Vec3d p = back * cv::Vec3d(x, y, 1);
                const double u = p[0] / p[2], v = p[1] / p[2];
                for (int c = 0; c < 2; ++c)
                    ASSERT_NEAR(img.at<cv::Vec4f>(y, x)[c], bilinear(src, u, v, c), 1.0 / 32 / 48 + 1e-5)
                        << x << "," << y << " c" << c;
            }
    }
}

TEST(Geometry, RotationThenPerspectiveEqualsTheTwoStepsApart) {
    const cv::Mat src = random_image(45, 31, 10);
    Adjustments both;
    both.rotation = -8;
    both.perspective_h = 35;
    both.perspective_v = 20;
    cv::Mat img = src.clone();
    vantorix::apply_geometry(img, both);

    Adjustments rot, persp;
    rot.rotation = -8;
    persp.perspective_h = 35;
    persp.perspective_v = 20;
    cv::Mat seq = src.clone();
    vantorix::apply_geometry(seq, rot);
    vantorix::apply_geometry(seq, persp);
    EXPECT_TRUE(identical(img, seq));
}

TEST(Geometry, PositivePerspectiveHNarrowsTheTop) {
    const int W = 100, H = 50;
    const cv::Mat src = ramp_image(W, H);
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.perspective_h = 100;  // top corners move in by 15 px, bottom corners out by 15 px
    vantorix::apply_geometry(img, adj);
    // Output (15, 0) shows the input's top-left corner: red ramp 0.
    EXPECT_NEAR(img.at<cv::Vec4f>(0, 15)[0], 0.0f, 1e-6f);
    EXPECT_NEAR(img.at<cv::Vec4f>(0, 15)[1], 0.0f, 1e-6f);
    // The middle column is not moved sideways.
    EXPECT_NEAR(img.at<cv::Vec4f>(25, 50)[0], 0.5f, 1e-6f);
}

TEST(Geometry, CropArithmetic) {
    cv::Rect r;
    // 0.001 of 4000 is 4: x0 = 4, cw = min(3996, 4000).
    ASSERT_TRUE(vantorix::crop_rectangle(4000, 3000, CropRect{0.001f, 0, 1, 1}, r));
    EXPECT_EQ(r, cv::Rect(4, 0, 3996, 3000));
    // Full-frame shortcut from 0.99 on, only with a zero origin.
    EXPECT_FALSE(vantorix::crop_rectangle(4000, 3000, CropRect{0, 0, 0.995f, 1}, r));
    EXPECT_FALSE(vantorix::crop_rectangle(4000, 3000, CropRect{0, 0, 0.99f, 0.99f}, r));
    ASSERT_TRUE(vantorix::crop_rectangle(4000, 3000, CropRect{0, 0, 0.98f, 1}, r));
    EXPECT_EQ(r, cv::Rect(0, 0, static_cast<int>(4000 * 0.98f), 3000));
    // A negative origin counts as 0 but disables the shortcut.
    ASSERT_TRUE(vantorix::crop_rectangle(400, 300, CropRect{-0.5f, 0, 1, 1}, r));
    EXPECT_EQ(r, cv::Rect(0, 0, 400, 300));
    ASSERT_TRUE(vantorix::crop_rectangle(400, 300, CropRect{0.25f, -2, 0.5f, 0.5f}, r));
    EXPECT_EQ(r, cv::Rect(100, 0, 200, 150));
    // Width and height limited to what is left of the frame.
    ASSERT_TRUE(vantorix::crop_rectangle(400, 300, CropRect{0.75f, 0.5f, 1, 1}, r));
    EXPECT_EQ(r, cv::Rect(300, 150, 100, 150));
    // 11 pixels is the smallest crop; 10 is refused, in either direction.
    ASSERT_TRUE(vantorix::crop_rectangle(110, 110, CropRect{0, 0, 0.1f, 0.1f}, r));
    EXPECT_EQ(r, cv::Rect(0, 0, 11, 11));
    EXPECT_FALSE(vantorix::crop_rectangle(100, 110, CropRect{0, 0, 0.1f, 0.5f}, r));
    EXPECT_FALSE(vantorix::crop_rectangle(110, 100, CropRect{0, 0, 0.5f, 0.1f}, r));
    EXPECT_FALSE(vantorix::crop_rectangle(400, 300, CropRect{0.99f, 0, 1, 1}, r));  // 4 px left
    // An origin beyond the frame.
    EXPECT_FALSE(vantorix::crop_rectangle(400, 300, CropRect{1.5f, 0, 0.5f, 0.5f}, r));
    EXPECT_FALSE(vantorix::crop_rectangle(400, 300, CropRect{0, 1, 0.5f, 0.5f}, r));
    // Tiny images are never cropped.
    EXPECT_FALSE(vantorix::crop_rectangle(10, 10, CropRect{0, 0, 0.5f, 0.5f}, r));
}

TEST(Geometry, CropValuesThatAreNotNumbersOrOverflowGiveNoCrop) {
    cv::Rect r;
    const CropRect bad[] = {{kNaN, 0, 0.5f, 0.5f}, {0, kNaN, 0.5f, 0.5f},  {0.1f, 0, kNaN, 0.5f},
                            {0.1f, 0, 0.5f, kNaN}, {kInf, 0, 0.5f, 0.5f},  {-kInf, 0, 0.5f, 0.5f},
                            {0, 0, kInf, 0.5f},    {0.1f, 0.1f, 0.5f, kInf}, {1e10f, 0, 0.5f, 0.5f},
                            {-1e10f, 0, 0.5f, 0.5f}, {0.1f, 0, 1e10f, 0.5f}, {0.1f, 0, 0.5f, 3e38f},
                            {0, -3e38f, 0.5f, 0.5f}};
    for (const CropRect& c : bad) {
        EXPECT_FALSE(vantorix::crop_rectangle(4000, 3000, c, r)) << c.x << " " << c.y << " " << c.w << " " << c.h;
        const cv::Mat src = random_image(40, 30, 5);
        cv::Mat img = src;
        Adjustments adj;
        adj.crop = c;
        vantorix::apply_geometry(img, adj);
        EXPECT_EQ(img.data, src.data);
    }
    // Products just inside the int range still work (and give a clamped width).
    ASSERT_TRUE(vantorix::crop_rectangle(4000, 3000, CropRect{0.5f, 0, 5e5f, 1}, r));
    EXPECT_EQ(r, cv::Rect(2000, 0, 2000, 3000));
}

TEST(Geometry, CropCopiesTheRectangle) {
    const cv::Mat src = random_image(4000, 12, 6);
    cv::Mat img = src.clone();
    vantorix::apply_geometry(img, crop_only(0.001f, 0, 1, 1));
    ASSERT_EQ(img.size(), cv::Size(3996, 12));
    EXPECT_TRUE(identical(img, src(cv::Rect(4, 0, 3996, 12))));

    const cv::Mat small = random_image(100, 80, 7);
    img = small.clone();
    vantorix::apply_geometry(img, crop_only(0.25f, 0.5f, 0.5f, 0.25f));
    ASSERT_EQ(img.size(), cv::Size(50, 20));
    EXPECT_TRUE(identical(img, small(cv::Rect(25, 40, 50, 20))));
}

TEST(Geometry, StepsRunInOrderFlipBeforeCrop) {
    // Flip, then crop the left half: the result is the mirrored right half.
    const cv::Mat src = random_image(40, 30, 8);
    cv::Mat img = src.clone();
    Adjustments adj = crop_only(0, 0, 0.5f, 1);
    adj.flip_h = 1;
    vantorix::apply_geometry(img, adj);
    ASSERT_EQ(img.size(), cv::Size(20, 30));
    cv::Mat expected;
    cv::flip(src(cv::Rect(20, 0, 20, 30)), expected, 1);
    EXPECT_TRUE(identical(img, expected));

    // Rotation and perspective keep the size; the crop applies to their result.
    adj = crop_only(0.5f, 0.5f, 0.5f, 0.5f);
    adj.rotation = 3;
    adj.perspective_v = 20;
    img = src.clone();
    vantorix::apply_geometry(img, adj);
    EXPECT_EQ(img.size(), cv::Size(20, 15));
}

TEST(Geometry, RotationOrPerspectiveThatAreNotNumbersAreSkipped) {
    const cv::Mat src = random_image(40, 30, 9);
    const std::tuple<float, float, float> not_numbers[] = {{kNaN, 0, 0}, {kInf, 0, 0},   {-kInf, 0, 0}, {0, kNaN, 0},
                                                           {0, 0, kInf}, {0, 20, kNaN}, {0, kInf, 20}};
    for (auto [rot, ph, pv] : not_numbers) {
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.rotation = rot;
        adj.perspective_h = ph;
        adj.perspective_v = pv;
        vantorix::apply_geometry(img, adj);
        EXPECT_TRUE(identical(img, src)) << rot << " " << ph << " " << pv;
        // The other steps still run.
        adj.flip_h = 1;
        img = src.clone();
        vantorix::apply_geometry(img, adj);
        cv::Mat flipped;
        cv::flip(src, flipped, 1);
        EXPECT_TRUE(identical(img, flipped));
    }
    // Huge finite values: no failure, size kept.
    const std::tuple<float, float, float> huge[] = {
        {3e38f, 0, 0}, {0, 3e38f, 0}, {0, -3e38f, 3e38f}, {0, 1e6f, 0}, {0, 0, -1e6f}};
    for (auto [rot, ph, pv] : huge) {
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.rotation = rot;
        adj.perspective_h = ph;
        adj.perspective_v = pv;
        vantorix::apply_geometry(img, adj);
        EXPECT_EQ(img.size(), src.size());
    }
}

TEST(Geometry, ThroughThePublicInterface) {
    // 8-bit source, loaded as value * 257, exported as 16-bit TIFF.
    cv::Mat src_bgr(30, 50, CV_8UC3);
    cv::RNG(12).fill(src_bgr, cv::RNG::UNIFORM, 0, 256);
    cv::Mat src;
    cv::cvtColor(src_bgr, src, cv::COLOR_BGR2RGB);
    src.convertTo(src, CV_16U, 257.0);
    // Both flips: the exported image is the half turn of the input, sample for sample.
    const cv::Mat turned = testsupport::develop_via_tiff(src_bgr, [](EngineContext* c) {
        vantorix_set_temperature(c, 6500);
        vantorix_set_flip_h(c, 1);
        vantorix_set_flip_v(c, 1);
    });
    ASSERT_EQ(turned.size(), cv::Size(50, 30));
    cv::Mat expected;
    cv::rotate(src, expected, cv::ROTATE_180);
    EXPECT_EQ(cv::norm(turned, expected, cv::NORM_INF), 0.0);

    const cv::Mat cropped = testsupport::develop_via_tiff(src_bgr, [](EngineContext* c) {
        vantorix_set_temperature(c, 6500);
        vantorix_set_crop(c, 0.2f, 0.1f, 0.5f, 0.5f);
    });
    ASSERT_EQ(cropped.size(), cv::Size(25, 15));
    EXPECT_EQ(cv::norm(cropped, src(cv::Rect(10, 3, 25, 15)), cv::NORM_INF), 0.0);
}

TEST(Geometry, ReportedSizeFollowsTheCrop) {
    const std::string path = testsupport::temp_path("geometry_size.png");
    testsupport::write_image(path, cv::Mat(80, 120, CV_8UC3, cv::Scalar(10, 20, 30)));
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    vantorix_set_crop(ctx, 0.25f, 0, 0.5f, 1);
    vantorix_set_rotation(ctx, 30);
    EXPECT_EQ(vantorix_get_width(ctx), 120);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 60);
    EXPECT_EQ(vantorix_get_height(ctx), 80);
    // The preview has the processed size.
    std::vector<uint8_t> rgba(60 * 80 * 4);
    EXPECT_EQ(vantorix_get_preview(ctx, rgba.data(), static_cast<int>(rgba.size())), 0);
    // A second run crops the loaded image again, not the earlier result.
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 60);
    vantorix_reset_adjustments(ctx);
    EXPECT_EQ(vantorix_get_width(ctx), 120);
    EXPECT_EQ(vantorix_get_height(ctx), 80);
    // A crop of 10 pixels is refused: the full size stays.
    vantorix_set_crop(ctx, 0, 0, 10.0f / 120.0f, 1);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 120);
    vantorix_set_crop(ctx, kNaN, 0, 0.5f, 0.5f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 120);
    EXPECT_EQ(vantorix_get_height(ctx), 80);
}

TEST(Geometry, DevelopmentRunsLensGeometryVignetteInThatOrder) {
    // Lens vignetting sees the full frame, the creative vignette the cropped one.
    cv::Mat bgr(40, 60, CV_8UC3);
    cv::RNG(31).fill(bgr, cv::RNG::UNIFORM, 40, 200);
    const cv::Mat got = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_temperature(c, 6500);
        vantorix_set_lens_vignette(c, 100);
        vantorix_set_distortion(c, -30);
        vantorix_set_crop(c, 0.5f, 0.5f, 0.5f, 0.5f);
        vantorix_set_flip_h(c, 1);
        vantorix_set_vignette_amount(c, -70);
    });
    ASSERT_EQ(got.size(), cv::Size(30, 20));

    cv::Mat rgba8, rgba16, f;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    rgba8.convertTo(rgba16, CV_16U, 257.0);
    rgba16.convertTo(f, CV_32F, 1.5259021896696422e-5);
    Adjustments adj;
    adj.lens_vignette = 100;
    adj.distortion = -30;
    adj.crop = CropRect{0.5f, 0.5f, 0.5f, 0.5f};
    adj.flip_h = 1;
    adj.vignette_amount = -70;
    auto to_rgb16 = [](const cv::Mat& img) {
        cv::Mat w, rgb;
        img.convertTo(w, CV_16U, 65535.0);
        cv::cvtColor(w, rgb, cv::COLOR_RGBA2RGB);
        return rgb;
    };
    cv::Mat ordered = f.clone();
    vantorix::apply_lens_corrections(ordered, adj);
    vantorix::apply_geometry(ordered, adj);
    vantorix::apply_vignette(ordered, adj);
    EXPECT_EQ(cv::norm(got, to_rgb16(ordered), cv::NORM_INF), 0.0);

    cv::Mat swapped = f.clone();  // geometry first: a different picture
    vantorix::apply_geometry(swapped, adj);
    vantorix::apply_lens_corrections(swapped, adj);
    vantorix::apply_vignette(swapped, adj);
    EXPECT_GT(cv::norm(got, to_rgb16(swapped), cv::NORM_INF), 100.0);
}
