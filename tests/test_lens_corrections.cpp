// Lens corrections: distortion, chromatic aberration, lens vignetting, defringe.
#include <cmath>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "pipeline/lens_corrections.h"
#include "pipeline/stages.h"
#include "support/test_support.h"

using testsupport::identical;
using testsupport::random_image;
using testsupport::reflect;

namespace {

using vantorix::Adjustments;

// Red rises along x, green along y, blue constant, alpha random.
cv::Mat ramp_image(int w, int h) {
    cv::Mat img(h, w, CV_32FC4);
    cv::RNG rng(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at<cv::Vec4f>(y, x) = cv::Vec4f(static_cast<float>(x) / static_cast<float>(w),
                                                static_cast<float>(y) / static_cast<float>(h), 0.25f,
                                                rng.uniform(0.0f, 1.0f));
    return img;
}

// Bilinear sample of channel c at (u, v) with the coordinates rounded to 1/32
// of a pixel, as the library's resampler does.
float sample(const cv::Mat& img, float u, float v, int c) {
    const int X = static_cast<int>(std::lrint(u * 32.0f)), Y = static_cast<int>(std::lrint(v * 32.0f));
    const int x0 = X >> 5, y0 = Y >> 5;
    const float fx = static_cast<float>(X & 31) / 32.0f, fy = static_cast<float>(Y & 31) / 32.0f;
    auto px = [&](int x, int y) { return img.at<cv::Vec4f>(reflect(y, img.rows), reflect(x, img.cols))[c]; };
    return px(x0, y0) * (1 - fx) * (1 - fy) + px(x0 + 1, y0) * fx * (1 - fy) + px(x0, y0 + 1) * (1 - fx) * fy +
           px(x0 + 1, y0 + 1) * fx * fy;
}

// Independent HSL conversion for checks (hue in turns, red 0).
void to_hsl(float r, float g, float b, float& h, float& s, float& l) {
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
    l = (mx + mn) / 2;
    if (mx - mn < 1e-6f) {
        h = s = 0;
        return;
    }
    s = (mx - mn) / (1 - std::fabs(mx + mn - 1));
    float deg;
    if (mx == r)
        deg = 60 * (g - b) / (mx - mn);
    else if (mx == g)
        deg = 60 * (b - r) / (mx - mn) + 120;
    else
        deg = 60 * (r - g) / (mx - mn) + 240;
    if (deg < 0) deg += 360;
    h = deg / 360;
}

}  // namespace

TEST(LensCorrections, NeutralAndNegativeSettingsLeaveTheImageAlone) {
    const cv::Mat src = random_image(33, 17, 1);
    Adjustments adj;
    cv::Mat img = src.clone();
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_TRUE(identical(img, src));
    adj.ca_correction = -50;
    adj.lens_vignette = -100;
    adj.defringe = -1;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_TRUE(identical(img, src));
    // Settings that are not numbers switch their correction off.
    adj.distortion = std::numeric_limits<float>::quiet_NaN();
    adj.ca_correction = std::numeric_limits<float>::infinity();
    adj.lens_vignette = std::numeric_limits<float>::infinity();
    adj.defringe = std::numeric_limits<float>::infinity();
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_TRUE(identical(img, src));
    adj.distortion = -std::numeric_limits<float>::infinity();
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_TRUE(identical(img, src));
}

TEST(LensCorrections, DistortionFollowsTheRadialModel) {
    // Landscape (R = W/2), portrait (R = H/2) and square frames, both signs.
    const struct {
        int w, h;
        float setting;
    } cases[] = {{64, 40, 60.0f}, {40, 64, 60.0f}, {48, 48, -80.0f}, {64, 40, -100.0f}};
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.w << "x" << k.h << " distortion " << k.setting);
        const cv::Mat src = ramp_image(k.w, k.h);
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.distortion = k.setting;
        vantorix::apply_lens_corrections(img, adj);
        ASSERT_EQ(img.size(), src.size());
        ASSERT_EQ(img.type(), CV_32FC4);

        const float kk = k.setting / 100.0f * -0.5f;
        const float cx = k.w / 2.0f, cy = k.h / 2.0f, R = std::max(cx, cy);
        // The centre pixel is never moved.
        EXPECT_EQ(img.at<cv::Vec4f>(k.h / 2, k.w / 2), src.at<cv::Vec4f>(k.h / 2, k.w / 2));
        for (int y = 0; y < k.h; ++y)
            for (int x = 0; x < k.w; ++x) {
                const float nx = (x - cx) / R, ny = (y - cy) / R;
                const float f = 1 + kk * (nx * nx + ny * ny);
                const float u = cx + f * nx * R, v = cy + f * ny * R;
                const cv::Vec4f got = img.at<cv::Vec4f>(y, x);
                for (int c = 0; c < 4; ++c)
                    ASSERT_NEAR(got[c], sample(src, u, v, c), 2e-5f) << "x " << x << " y " << y << " c " << c;
            }
    }
}

TEST(LensCorrections, DistortionEqualsOneRemapWithFullSizeMaps) {
    // The stage builds its maps in bands of rows; the result must equal one remap
    // call with image-size maps built from the formula.
    for (cv::Size size : {cv::Size(37, 150), cv::Size(200, 64), cv::Size(90, 65), cv::Size(1, 1)}) {
        SCOPED_TRACE(size);
        const cv::Mat src = random_image(size.width, size.height, 17);
        const float setting = 45.0f;
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.distortion = setting;
        vantorix::apply_lens_corrections(img, adj);

        const float k = setting / 100.0f * -0.5f;
        const float cx = size.width * 0.5f, cy = size.height * 0.5f, R = std::max(cx, cy);
        cv::Mat map_x(size, CV_32FC1), map_y(size, CV_32FC1);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const float nx = (x - cx) / R, ny = (y - cy) / R;
                const float f = (nx * nx + ny * ny) * k + 1;
                map_x.at<float>(y, x) = f * nx * R + cx;
                map_y.at<float>(y, x) = ny * f * R + cy;
            }
        cv::Mat expected;
        cv::remap(src, expected, map_x, map_y, cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar(0));
        EXPECT_TRUE(identical(img, expected));
    }
}

TEST(LensCorrections, PositiveDistortionSamplesNearerTheCentre) {
    const cv::Mat src = ramp_image(64, 64);
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.distortion = 100;  // k = -0.5: the left edge middle samples at x = 32 - 32 * 0.5 = 16
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_NEAR(img.at<cv::Vec4f>(32, 0)[0], 16.0f / 64.0f, 1e-6f);
    EXPECT_NEAR(img.at<cv::Vec4f>(0, 32)[1], 16.0f / 64.0f, 1e-6f);
}

TEST(LensCorrections, HugeDistortionDoesNotCrash) {
    cv::Mat img = random_image(20, 12, 3);
    Adjustments adj;
    adj.distortion = 1e30f;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_EQ(img.size(), cv::Size(20, 12));
    adj.distortion = -3e38f;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_EQ(img.size(), cv::Size(20, 12));
}

TEST(LensCorrections, FitPlaneToSizeCentresCropsAndPads) {
    cv::Mat base(7, 9, CV_32FC1);
    for (int y = 0; y < base.rows; ++y)
        for (int x = 0; x < base.cols; ++x) base.at<float>(y, x) = static_cast<float>(100 * y + x + 1);

    // One pixel larger: dx = 0, so the crop starts at the top-left corner.
    cv::Mat p = base.clone();
    vantorix::fit_plane_to_size(p, 8, 6);
    ASSERT_EQ(p.size(), cv::Size(8, 6));
    EXPECT_TRUE(identical(p, base(cv::Rect(0, 0, 8, 6))));

    // Three pixels larger: dx = 1.
    p = base.clone();
    vantorix::fit_plane_to_size(p, 6, 4);
    EXPECT_TRUE(identical(p, base(cv::Rect(1, 1, 6, 4))));

    // One pixel smaller: dx = (9 - 10) / 2 = 0, the plane sits at the top-left, the
    // last column and row are 0.
    p = base.clone();
    vantorix::fit_plane_to_size(p, 10, 8);
    ASSERT_EQ(p.size(), cv::Size(10, 8));
    EXPECT_TRUE(identical(p(cv::Rect(0, 0, 9, 7)), base));
    EXPECT_EQ(cv::countNonZero(p.col(9)), 0);
    EXPECT_EQ(cv::countNonZero(p.row(7)), 0);

    // Three pixels smaller: copied at (1, 1).
    p = base.clone();
    vantorix::fit_plane_to_size(p, 12, 10);
    EXPECT_TRUE(identical(p(cv::Rect(1, 1, 9, 7)), base));
    EXPECT_EQ(cv::sum(p)[0], cv::sum(base)[0]);

    // Exactly the size: the same matrix.
    p = base;
    vantorix::fit_plane_to_size(p, 9, 7);
    EXPECT_EQ(p.data, base.data);

    // Wider but shorter (not produced by the stage): stays within both buffers.
    p = base.clone();
    vantorix::fit_plane_to_size(p, 5, 11);
    ASSERT_EQ(p.size(), cv::Size(5, 11));
    EXPECT_TRUE(identical(p(cv::Rect(0, 2, 5, 7)), base(cv::Rect(2, 0, 5, 7))));
    EXPECT_EQ(cv::countNonZero(p.rowRange(0, 2)), 0);
}

TEST(LensCorrections, FittingIntoTheChannelEqualsFitThenInsert) {
    const cv::Mat base = random_image(30, 20, 13);
    cv::RNG rng(14);
    for (cv::Size ps : {cv::Size(30, 20), cv::Size(31, 20), cv::Size(29, 21), cv::Size(24, 15), cv::Size(37, 26),
                        cv::Size(12, 40), cv::Size(50, 3), cv::Size(1, 1), cv::Size(0, 0)}) {
        SCOPED_TRACE(ps);
        cv::Mat plane(ps, CV_32FC1);
        if (!plane.empty()) rng.fill(plane, cv::RNG::UNIFORM, 0.0, 1.0);
        for (int channel : {0, 2}) {
            cv::Mat fast = base.clone();
            vantorix::fit_plane_into_channel(plane, fast, channel);
            cv::Mat fitted = plane.clone();
            vantorix::fit_plane_to_size(fitted, 30, 20);
            cv::Mat expected = base.clone();
            cv::insertChannel(fitted, expected, channel);
            EXPECT_TRUE(identical(fast, expected)) << channel;
        }
    }
}

TEST(LensCorrections, ChromaticAberrationEqualsSplitResizeFitMerge) {
    // The stage against the plain sequence: split, resize red by 1 + s and blue
    // by 1 - s, fit both to the image size, merge.
    const struct {
        int w, h;
        float setting;
    } cases[] = {{300, 100, 100}, {167, 333, 100}, {64, 48, 2500}, {40, 30, 10000}, {16, 12, 33000}, {500, 9, 50}};
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.w << "x" << k.h << " ca " << k.setting);
        const cv::Mat src = random_image(k.w, k.h, 19);
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.ca_correction = k.setting;
        vantorix::apply_lens_corrections(img, adj);

        const float s = k.setting / 100.0f * 0.003f;
        std::vector<cv::Mat> planes;
        cv::split(src, planes);
        cv::resize(planes[0], planes[0], cv::Size(), 1.0f + s, 1.0f + s, cv::INTER_LINEAR);
        if (cvRound(k.w * static_cast<double>(1.0f - s)) > 0 && cvRound(k.h * static_cast<double>(1.0f - s)) > 0)
            cv::resize(planes[2], planes[2], cv::Size(), 1.0f - s, 1.0f - s, cv::INTER_LINEAR);
        else
            planes[2] = cv::Mat();
        vantorix::fit_plane_to_size(planes[0], k.w, k.h);
        vantorix::fit_plane_to_size(planes[2], k.w, k.h);
        cv::Mat expected;
        cv::merge(planes, expected);
        EXPECT_TRUE(identical(img, expected));
    }
}

TEST(LensCorrections, ChromaticAberrationScalesRedUpAndBlueDown) {
    // 300 x 100 at 100: s = 0.003; red 300.9 -> 301 wide (cropped from the left
    // edge, dx = 0), blue 299.1 -> 299 wide (padded on the right), heights
    // 100.3 and 99.7 -> 100.
    const int W = 300, H = 100;
    cv::Mat src(H, W, CV_32FC4);
    cv::RNG rng(5);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            src.at<cv::Vec4f>(y, x) = cv::Vec4f(x / 512.0f, rng.uniform(0.f, 1.f), x / 512.0f + 0.1f, rng.uniform(0.f, 1.f));
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.ca_correction = 100;
    vantorix::apply_lens_corrections(img, adj);
    ASSERT_EQ(img.size(), src.size());

    const float s = 100.0f / 100.0f * 0.003f;
    const double up = 1.0f + s, down = 1.0f - s;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const cv::Vec4f a = src.at<cv::Vec4f>(y, x), b = img.at<cv::Vec4f>(y, x);
            ASSERT_EQ(b[1], a[1]);
            ASSERT_EQ(b[3], a[3]);
            // Linear resampling of a ramp: output column x reads source (x + 0.5) / scale - 0.5,
            // clamped to the first column at the left edge.
            const double ur = std::max(0.0, (x + 0.5) / up - 0.5);
            ASSERT_NEAR(b[0], ur / 512.0, 1e-5) << x;
            if (x < 299) {
                const double ub = std::min(299.0, (x + 0.5) / down - 0.5);
                ASSERT_NEAR(b[2], ub / 512.0 + 0.1, 1e-5) << x;
            } else {
                ASSERT_EQ(b[2], 0.0f) << "the uncovered column of the blue plane is 0";
            }
        }
}

TEST(LensCorrections, ChromaticAberrationPaddedOnBothSides) {
    // 40 x 30 at 10000: s = 0.3; blue 28 x 21 -> dx = -6, dy = -4 (padding of 6
    // and 4 on the top-left), red 52 x 39 -> cropped at (6, 4).
    cv::Mat src(30, 40, CV_32FC4, cv::Scalar(0.5, 0.25, 0.75, 1.0));
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.ca_correction = 10000;
    vantorix::apply_lens_corrections(img, adj);
    ASSERT_EQ(img.size(), src.size());
    std::vector<cv::Mat> planes;
    cv::split(img, planes);
    EXPECT_LE(cv::norm(planes[0] - 0.5, cv::NORM_INF), 1e-6);
    EXPECT_EQ(cv::norm(planes[1] - 0.25, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(planes[3] - 1.0, cv::NORM_INF), 0.0);
    const cv::Rect inner(6, 4, 28, 21);
    EXPECT_LE(cv::norm(planes[2](inner) - 0.75, cv::NORM_INF), 1e-6);
    EXPECT_EQ(cv::countNonZero(planes[2]), 28 * 21) << "padding of 6 columns and 4 rows on the top-left";
}

TEST(LensCorrections, AbsurdChromaticAberrationIsSafe) {
    const cv::Mat src = random_image(16, 12, 9);
    Adjustments adj;
    // The blue plane shrinks to nothing: it becomes 0, the rest stays.
    cv::Mat img = src.clone();
    adj.ca_correction = 33000;  // s = 0.99: 16 * 0.01 rounds to 0
    vantorix::apply_lens_corrections(img, adj);
    ASSERT_EQ(img.size(), src.size());
    std::vector<cv::Mat> planes;
    cv::split(img, planes);
    EXPECT_EQ(cv::countNonZero(planes[2]), 0);
    // From s = 1 on the blue plane's scale is not positive: the step is left out.
    img = src.clone();
    adj.ca_correction = 1e6f;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_TRUE(identical(img, src));
}

TEST(LensCorrections, LensVignetteGain) {
    const int W = 40, H = 24;
    cv::Mat src(H, W, CV_32FC4);
    cv::RNG rng(11);
    rng.fill(src, cv::RNG::UNIFORM, 0.0, 0.6);
    src.at<cv::Vec4f>(0, 0) = cv::Vec4f(0.4f, 0.2f, 0.0f, 0.3f);
    src.at<cv::Vec4f>(1, 1) = cv::Vec4f(0.9f, 0.5f, 0.1f, 0.3f);
    for (float amount : {100.0f, 40.0f}) {
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.lens_vignette = amount;
        vantorix::apply_lens_corrections(img, adj);
        const float a = amount / 100.0f;
        const double half_diag = std::sqrt(20.0 * 20.0 + 12.0 * 12.0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double d = std::hypot(x - 20.0, y - 12.0) / half_diag;
                const double g = 1 + 0.5 * a * d * d;
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(img.at<cv::Vec4f>(y, x)[c], std::min(1.0, src.at<cv::Vec4f>(y, x)[c] * g), 1e-6);
                ASSERT_EQ(img.at<cv::Vec4f>(y, x)[3], src.at<cv::Vec4f>(y, x)[3]);
            }
        // Gain exactly 1 at the centre.
        EXPECT_EQ(img.at<cv::Vec4f>(12, 20), src.at<cv::Vec4f>(12, 20));
        if (amount == 100.0f) {
            // Gain 1.5 at the corner (0, 0), which lies at the full half-diagonal.
            EXPECT_FLOAT_EQ(img.at<cv::Vec4f>(0, 0)[0], 0.6f);
            EXPECT_FLOAT_EQ(img.at<cv::Vec4f>(0, 0)[1], 0.3f);
            EXPECT_EQ(img.at<cv::Vec4f>(0, 0)[2], 0.0f);
            EXPECT_EQ(img.at<cv::Vec4f>(1, 1)[0], 1.0f) << "clamped at 1";
        }
    }
}

TEST(LensCorrections, DefringeDesaturatesPurpleAndGreenFringes) {
    // Row of test pixels: saturated purple (hue 0.79), grey, saturated green
    // (hue 0.375), azure (hue 0.58, not a fringe hue), red, weakly saturated
    // purple (hue 0.81, saturation 0.3), pure blue (hue 2/3, inside the purple range).
    const cv::Vec4f pixels[] = {{0.75f, 0.0f, 1.0f, 0.5f}, {0.4f, 0.4f, 0.4f, 0.5f}, {0.1f, 0.9f, 0.3f, 1.0f},
                                {0.0f, 0.5f, 1.0f, 1.0f},  {1.0f, 0.0f, 0.0f, 1.0f}, {0.6f, 0.35f, 0.65f, 1.0f},
                                {0.0f, 0.0f, 1.0f, 1.0f}};
    const int n = static_cast<int>(sizeof(pixels) / sizeof(pixels[0]));
    cv::Mat src(1, n, CV_32FC4);
    for (int i = 0; i < n; ++i) src.at<cv::Vec4f>(0, i) = pixels[i];

    for (float amount : {100.0f, 50.0f}) {
        SCOPED_TRACE(amount);
        cv::Mat img = src.clone();
        Adjustments adj;
        adj.defringe = amount;
        vantorix::apply_lens_corrections(img, adj);
        const float threshold = (1 - amount / 100) / 2, q = 1 - amount / 200;
        for (int i = 0; i < n; ++i) {
            const cv::Vec4f a = src.at<cv::Vec4f>(0, i), b = img.at<cv::Vec4f>(0, i);
            float h, s, l, h2, s2, l2;
            to_hsl(a[0], a[1], a[2], h, s, l);
            to_hsl(b[0], b[1], b[2], h2, s2, l2);
            const bool candidate = (h > 0.65f && h < 0.85f) || (h > 0.25f && h < 0.4f);
            EXPECT_EQ(b[3], a[3]);
            if (candidate && s > threshold) {
                EXPECT_NEAR(s2, s * q, 1e-5) << i;
                EXPECT_NEAR(h2, h, 1e-5) << i;
                EXPECT_NEAR(l2, l, 1e-5) << i;
            } else {
                EXPECT_EQ(b, a) << i << " must stay exactly as it was";
            }
        }
    }
    // Saturated purple at 100: saturation halved, (0.75, 0, 1) -> (0.625, 0.25, 0.75).
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.defringe = 100;
    vantorix::apply_lens_corrections(img, adj);
    const cv::Vec4f p = img.at<cv::Vec4f>(0, 0);
    EXPECT_NEAR(p[0], 0.625f, 1e-6f);
    EXPECT_NEAR(p[1], 0.25f, 1e-6f);
    EXPECT_NEAR(p[2], 0.75f, 1e-6f);
    EXPECT_EQ(p[3], 0.5f);
    // The weakly saturated purple (s = 0.3) is changed at 50 (T = 0.25) but not at
    // 20 (T = 0.4); grey, red and azure never.
    img = src.clone();
    adj.defringe = 50;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_NE(img.at<cv::Vec4f>(0, 5), src.at<cv::Vec4f>(0, 5));
    img = src.clone();
    adj.defringe = 20;
    vantorix::apply_lens_corrections(img, adj);
    EXPECT_EQ(img.at<cv::Vec4f>(0, 5), src.at<cv::Vec4f>(0, 5));
    for (int i : {1, 3, 4}) EXPECT_EQ(img.at<cv::Vec4f>(0, i), src.at<cv::Vec4f>(0, i)) << i;
}

TEST(LensCorrections, StepsRunInOrderOnTheSameImage) {
    // All four at once equal the four one after the other.
    const cv::Mat src = random_image(50, 30, 21);
    Adjustments all;
    all.distortion = 30;
    all.ca_correction = 200;
    all.lens_vignette = 60;
    all.defringe = 70;
    cv::Mat img = src.clone();
    vantorix::apply_lens_corrections(img, all);

    cv::Mat seq = src.clone();
    Adjustments one;
    one.distortion = 30;
    vantorix::apply_lens_corrections(seq, one);
    one = Adjustments();
    one.ca_correction = 200;
    vantorix::apply_lens_corrections(seq, one);
    one = Adjustments();
    one.lens_vignette = 60;
    vantorix::apply_lens_corrections(seq, one);
    one = Adjustments();
    one.defringe = 70;
    vantorix::apply_lens_corrections(seq, one);
    EXPECT_TRUE(identical(img, seq));
}

TEST(LensCorrections, ThroughThePublicInterface) {
    // A grey image (8-bit 78, loaded as 78 * 257 = 20046) developed with lens
    // vignetting 100 and some distortion, exported as 16-bit TIFF and read back.
    cv::Mat src(32, 48, CV_8UC3, cv::Scalar(78, 78, 78));
    const cv::Mat out = testsupport::develop_via_tiff(src, [](EngineContext* c) {
        vantorix_set_temperature(c, 6500);  // neutral white balance
        vantorix_set_lens_vignette(c, 100);
        vantorix_set_distortion(c, 25);
    });
    ASSERT_EQ(out.size(), cv::Size(48, 32));
    // Gain 1 at the centre, 1.5 at the corner, 1 + 0.5 d² in between.
    EXPECT_EQ(out.at<cv::Vec3w>(16, 24), cv::Vec3w(20046, 20046, 20046));
    EXPECT_NEAR(out.at<cv::Vec3w>(0, 0)[0], 20046 * 1.5, 1);
    const double d2 = (23.0 * 23.0 + 15.0 * 15.0) / (24.0 * 24.0 + 16.0 * 16.0);
    EXPECT_NEAR(out.at<cv::Vec3w>(31, 47)[2], 20046 * (1 + 0.5 * d2), 1);
}
