// Creative vignette and film grain.
#include <cmath>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/stages.h"
#include "support/test_support.h"

using testsupport::identical;
using testsupport::reflect;

namespace {

using vantorix::Adjustments;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

cv::Mat random_image(int w, int h, uint64_t seed, double lo = 0.0, double hi = 1.0) {
    cv::Mat img(h, w, CV_32FC4);
    cv::RNG rng(seed);
    rng.fill(img, cv::RNG::UNIFORM, lo, hi);
    return img;
}

Adjustments vignette(float amount, float midpoint = 50, float roundness = 0) {
    Adjustments adj;
    adj.vignette_amount = amount;
    adj.vignette_midpoint = midpoint;
    adj.vignette_roundness = roundness;
    return adj;
}

// The vignette mask S at pixel (x, y), single precision, from the formula.
float mask_s(int x, int y, int cols, int rows, float midpoint, float roundness) {
    const float m = midpoint / 100, r = (roundness + 100) / 200;
    const float cx = cols * 0.5f, cy = rows * 0.5f;
    const float nx = (x - cx) / cx, ny = (y - cy) / cy;
    float dist = std::sqrt(nx * nx + ny * ny);
    if (r < 0.5f) {
        const float q = std::max(std::fabs(nx), std::fabs(ny));
        dist = q + 2 * r * (dist - q);
    }
    float t = (dist - m) / (1 - m + 1e-6f);
    t = std::min(std::max(t, 0.0f), 1.0f);
    return (3 - 2 * t) * (t * t);
}

float clamp01(float v) { return std::min(std::max(v, 0.0f), 1.0f); }

// One channel after the vignette: positive amounts move toward white, negative
// ones darken by the factor 1 - S·|a|.
float vignetted(float c, float s, float amount) {
    const float a = amount / 100;
    if (a > 0) return clamp01(c + (1 - c) * s * a);
    return clamp01(c * (1 - s * std::fabs(a)));
}

}  // namespace

TEST(Vignette, ZeroAmountOrNotANumberLeavesTheImage) {
    const cv::Mat src = random_image(31, 19, 1, -0.2, 1.2);
    for (const Adjustments& adj : {vignette(0, 10, -100), vignette(kNaN), vignette(kInf), vignette(50, kNaN),
                                   vignette(50, 50, kInf)}) {
        cv::Mat img = src.clone();
        vantorix::apply_vignette(img, adj);
        EXPECT_TRUE(identical(img, src));
    }
}

TEST(Vignette, MatchesTheFormulaForEveryPixel) {
    const int W = 48, H = 30;
    const cv::Mat src = random_image(W, H, 2, -0.1, 1.1);  // out-of-range values are clamped as well
    const float settings[][3] = {{50, 50, 0},    {100, 50, -100}, {30, 20, -40},  {-60, 50, 0},
                                 {-100, 70, -100}, {-250, 30, 50}, {400, 0, 100}, {80, 100, 0}};
    for (const auto& st : settings) {
        SCOPED_TRACE(::testing::Message() << "amount " << st[0] << " midpoint " << st[1] << " roundness " << st[2]);
        cv::Mat img = src.clone();
        vantorix::apply_vignette(img, vignette(st[0], st[1], st[2]));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const float s = mask_s(x, y, W, H, st[1], st[2]);
                const cv::Vec4f a = src.at<cv::Vec4f>(y, x), b = img.at<cv::Vec4f>(y, x);
                for (int c = 0; c < 3; ++c) ASSERT_EQ(b[c], vignetted(a[c], s, st[0])) << x << "," << y;
                ASSERT_EQ(b[3], a[3]);
            }
    }
}

TEST(Vignette, MidpointFiftyLeavesTheInnerEllipse) {
    const int W = 64, H = 40;
    const cv::Mat src = random_image(W, H, 3);
    cv::Mat img = src.clone();
    vantorix::apply_vignette(img, vignette(100));
    EXPECT_EQ(img.at<cv::Vec4f>(20, 32), src.at<cv::Vec4f>(20, 32)) << "centre";
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double nx = (x - 32) / 32.0, ny = (y - 20) / 20.0;
            if (std::hypot(nx, ny) <= 0.499) {
                EXPECT_EQ(img.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(y, x));
            }
        }
    // Corner (0, 0): dist = sqrt(2), S = 1, so each channel becomes white at 100.
    EXPECT_EQ(img.at<cv::Vec4f>(0, 0), cv::Vec4f(1, 1, 1, src.at<cv::Vec4f>(0, 0)[3]));
    // At 50 a corner channel c becomes c + (1 - c) / 2.
    cv::Mat half = src.clone();
    vantorix::apply_vignette(half, vignette(50));
    const cv::Vec4f c0 = src.at<cv::Vec4f>(0, 0), c1 = half.at<cv::Vec4f>(0, 0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(c1[c], c0[c] + (1 - c0[c]) * 0.5f, 1e-6f);
}

TEST(Vignette, RoundnessShapesTheMask) {
    // 100 x 50: pixel (80, 40) has nx = ny = 0.6. On black at amount 100 the output is S.
    const cv::Mat black(50, 100, CV_32FC4, cv::Scalar(0, 0, 0, 1));
    auto s_at = [&](float roundness, cv::Mat* out = nullptr) {
        cv::Mat img = black.clone();
        vantorix::apply_vignette(img, vignette(100, 50, roundness));
        if (out) *out = img;
        return img.at<cv::Vec4f>(40, 80)[0];
    };
    auto smooth = [](double d) {
        const double t = std::min(std::max((d - 0.5) / 0.5, 0.0), 1.0);
        return (3 - 2 * t) * t * t;
    };
    // Roundness -100: rectangular distance max(|nx|, |ny|) = 0.6.
    EXPECT_NEAR(s_at(-100), smooth(0.6), 1e-5);
    EXPECT_NEAR(s_at(-100), 0.104, 1e-5);
    // Roundness 0: elliptical distance 0.6·sqrt(2) ≈ 0.8485.
    EXPECT_NEAR(s_at(0), smooth(0.6 * std::sqrt(2.0)), 1e-5);
    // Roundness -50: halfway between the two distances.
    EXPECT_NEAR(s_at(-50), smooth(0.6 + 0.5 * (0.6 * std::sqrt(2.0) - 0.6)), 1e-5);
    // Roundness +100 equals roundness 0 everywhere.
    cv::Mat r0, r100;
    s_at(0, &r0);
    s_at(100, &r100);
    EXPECT_TRUE(identical(r0, r100));
    // The point (nx, ny) = (0.9, 0) lies at 0.9 for every roundness.
    cv::Mat rm;
    s_at(-100, &rm);
    EXPECT_EQ(rm.at<cv::Vec4f>(25, 95)[0], r0.at<cv::Vec4f>(25, 95)[0]);
}

TEST(Vignette, MidpointHundredAffectsOnlyOutsideTheInscribedEllipse) {
    const int W = 40, H = 40;
    const cv::Mat src(H, W, CV_32FC4, cv::Scalar(0.25, 0.5, 0.75, 1));
    cv::Mat img = src.clone();
    vantorix::apply_vignette(img, vignette(100, 100));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double d = std::hypot((x - 20) / 20.0, (y - 20) / 20.0);
            if (d < 0.9999) {
                EXPECT_EQ(img.at<cv::Vec4f>(y, x), src.at<cv::Vec4f>(y, x)) << x << "," << y;
            } else if (d > 1.001) {
                EXPECT_EQ(img.at<cv::Vec4f>(y, x), cv::Vec4f(1, 1, 1, 1)) << x << "," << y;
            }
        }
}

TEST(Vignette, NegativeAmountDarkensTheEdges) {
    const cv::Mat src = random_image(32, 32, 4, 0.2, 1.0);
    cv::Mat img = src.clone();
    vantorix::apply_vignette(img, vignette(-50));
    // Corner: S = 1, c' = c·(1 - 0.5).
    const cv::Vec4f a = src.at<cv::Vec4f>(0, 0), b = img.at<cv::Vec4f>(0, 0);
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(b[c], a[c] * 0.5f);
    EXPECT_EQ(b[3], a[3]);
    EXPECT_EQ(img.at<cv::Vec4f>(16, 16), src.at<cv::Vec4f>(16, 16));
    // Never brighter anywhere; at -100 the corners turn black.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_LE(img.at<cv::Vec4f>(y, x)[c], src.at<cv::Vec4f>(y, x)[c]);
    img = src.clone();
    vantorix::apply_vignette(img, vignette(-100));
    EXPECT_EQ(img.at<cv::Vec4f>(0, 0), cv::Vec4f(0, 0, 0, a[3]));
    // Stronger than -100: the factor goes below 0 and clamps to black.
    img = src.clone();
    vantorix::apply_vignette(img, vignette(-300));
    EXPECT_EQ(img.at<cv::Vec4f>(0, 31), cv::Vec4f(0, 0, 0, src.at<cv::Vec4f>(0, 31)[3]));
}

namespace {

Adjustments grain(float amount, float size = 25) {
    Adjustments adj;
    adj.grain_amount = amount;
    adj.grain_size = size;
    return adj;
}

// Standard deviation of (plane - base) over the image.
double noise_sd(const cv::Mat& img, int channel, double base) {
    cv::Mat plane;
    cv::extractChannel(img, plane, channel);
    cv::Scalar mean, sd;
    cv::meanStdDev(plane - base, mean, sd);
    return sd[0];
}

}  // namespace

TEST(Grain, ZeroNegativeOrNotANumberLeavesTheImage) {
    const cv::Mat src = random_image(20, 10, 5);
    for (const Adjustments& adj : {grain(0), grain(-50), grain(kNaN), grain(kInf), grain(50, kNaN), grain(50, kInf)}) {
        cv::Mat img = src.clone();
        vantorix::apply_grain(img, adj);
        EXPECT_TRUE(identical(img, src));
    }
}

TEST(Grain, EqualsTheStraightforwardPlaneOperations) {
    // With the thread's generator at a known state, the fused pass must give the
    // same bits as randn, blur, rescale, split, add, TOZERO, TRUNC and merge.
    const cv::Mat src = random_image(67, 45, 6, -0.05, 1.05);
    const float settings[][2] = {{300, 25}, {80, 100}, {150, 1}, {40, 0}, {100, 1.5f}, {60, 400}};
    for (const auto& st : settings) {
        SCOPED_TRACE(::testing::Message() << "amount " << st[0] << " size " << st[1]);
        cv::Mat img = src.clone();
        cv::theRNG().state = 0x5eed1234ULL;
        vantorix::apply_grain(img, grain(st[0], st[1]));

        cv::theRNG().state = 0x5eed1234ULL;
        const float sigma = st[0] / 100 * 0.05f;
        const float g = st[1] / 100;
        cv::Mat field(src.size(), CV_32FC1);
        cv::randn(field, 0.0, static_cast<double>(sigma));
        if (g > 0.01f) {
            cv::GaussianBlur(field, field, cv::Size(), static_cast<double>(2 * g + 0.5f), 0, cv::BORDER_REFLECT_101);
            cv::Scalar mean, sd;
            cv::meanStdDev(field, mean, sd);
            if (sd[0] > 1e-6) field = field * (static_cast<double>(sigma) / sd[0]);
        }
        std::vector<cv::Mat> planes;
        cv::split(src, planes);
        for (int c = 0; c < 3; ++c) {
            planes[c] = planes[c] + field;
            cv::threshold(planes[c], planes[c], 0, 0, cv::THRESH_TOZERO);
            cv::threshold(planes[c], planes[c], 1, 1, cv::THRESH_TRUNC);
        }
        cv::Mat expected;
        cv::merge(planes, expected);
        EXPECT_TRUE(identical(img, expected));
    }
}

TEST(Grain, StatisticsOfTheNoise) {
    const cv::Mat grey(256, 256, CV_32FC4, cv::Scalar(0.5, 0.5, 0.5, 0.75));
    for (float size : {25.0f, 1.0f, 100.0f, 0.5f}) {
        SCOPED_TRACE(size);
        cv::Mat img = grey.clone();
        vantorix::apply_grain(img, grain(100, size));
        // Requested standard deviation 0.05, within a few percent.
        EXPECT_NEAR(noise_sd(img, 0, 0.5), 0.05, 0.05 * 0.03);
        // Monochromatic: the same value on R, G and B; alpha untouched.
        std::vector<cv::Mat> planes;
        cv::split(img, planes);
        EXPECT_EQ(cv::norm(planes[0], planes[1], cv::NORM_INF), 0.0);
        EXPECT_EQ(cv::norm(planes[0], planes[2], cv::NORM_INF), 0.0);
        EXPECT_EQ(cv::countNonZero(planes[3] != 0.75f), 0);
        EXPECT_GT(cv::countNonZero(planes[0] != 0.5f), 256 * 256 * 9 / 10);
    }
    // Half the amount, half the deviation.
    cv::Mat img = grey.clone();
    vantorix::apply_grain(img, grain(50));
    EXPECT_NEAR(noise_sd(img, 1, 0.5), 0.025, 0.025 * 0.03);
    // Coarser grain: neighbouring pixels correlate at size 100, hardly at size 1.
    auto neighbour_correlation = [&](float size) {
        cv::Mat g = grey.clone();
        vantorix::apply_grain(g, grain(100, size));
        cv::Mat p;
        cv::extractChannel(g, p, 0);
        p -= 0.5;
        const cv::Mat a = p.colRange(0, 255), b = p.colRange(1, 256);
        return a.dot(b) / std::sqrt(a.dot(a) * b.dot(b));
    };
    EXPECT_LT(std::fabs(neighbour_correlation(1)), 0.05);
    EXPECT_GT(neighbour_correlation(100), 0.8);
}

TEST(Grain, OnBlackAboutHalfThePixelsBrighten) {
    const cv::Mat black(200, 200, CV_32FC4, cv::Scalar(0, 0, 0, 1));
    cv::Mat img = black.clone();
    vantorix::apply_grain(img, grain(100, 1));
    cv::Mat red;
    cv::extractChannel(img, red, 0);
    const double lit = cv::countNonZero(red) / 40000.0;
    EXPECT_GT(lit, 0.47);
    EXPECT_LT(lit, 0.53);
    double lo, hi;
    cv::minMaxLoc(red, &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    // Mean of max(0, N(0, 0.05)) = 0.05 / sqrt(2π) ≈ 0.01995.
    EXPECT_NEAR(cv::mean(red)[0], 0.05 / std::sqrt(2 * CV_PI), 0.001);
}

TEST(Grain, DiffersFromRunToRun) {
    const cv::Mat grey(40, 40, CV_32FC4, cv::Scalar(0.5, 0.5, 0.5, 1));
    cv::Mat a = grey.clone(), b = grey.clone();
    vantorix::apply_grain(a, grain(30));
    vantorix::apply_grain(b, grain(30));
    EXPECT_FALSE(identical(a, b));
}

TEST(Grain, AbsurdSizeDoesNotFail) {
    const cv::Mat grey(12, 16, CV_32FC4, cv::Scalar(0.5, 0.5, 0.5, 1));
    for (float size : {1e4f, 1e12f, 3e38f}) {
        cv::Mat img = grey.clone();
        vantorix::apply_grain(img, grain(100, size));
        EXPECT_EQ(img.size(), grey.size());
        double lo, hi;
        cv::minMaxLoc(img.reshape(1), &lo, &hi);
        EXPECT_GE(lo, 0.0);
        EXPECT_LE(hi, 1.0);
    }
    // A huge amount clips to 0 and 1 but stays a number.
    cv::Mat img = grey.clone();
    vantorix::apply_grain(img, grain(3e38f, 25));
    cv::Mat red;
    cv::extractChannel(img, red, 0);
    EXPECT_EQ(cv::countNonZero((red != 0.0f) & (red != 1.0f)), 0);
}

TEST(VignetteGrain, ThroughThePublicInterface) {
    const std::string path = testsupport::temp_path("vignette_grain.png");
    testsupport::write_image(path, cv::Mat(40, 60, CV_8UC3, cv::Scalar(128, 128, 128)));
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500);
    // Vignette is laid on the cropped frame: the new corners are fully affected.
    vantorix_set_crop(ctx, 0.25f, 0.25f, 0.5f, 0.5f);
    vantorix_set_vignette_amount(ctx, -100);
    cv::Mat p = testsupport::preview_of(ctx);
    ASSERT_EQ(p.size(), cv::Size(30, 20));
    EXPECT_EQ(p.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 0, 255));
    EXPECT_EQ(p.at<cv::Vec4b>(10, 15), cv::Vec4b(128, 128, 128, 255));

    // Two developments with grain differ; R, G and B carry the same noise.
    vantorix_set_vignette_amount(ctx, 0);
    vantorix_set_grain_amount(ctx, 60);
    const cv::Mat a = testsupport::preview_of(ctx).clone();
    const cv::Mat b = testsupport::preview_of(ctx).clone();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(cv::norm(a, b, cv::NORM_L1), 0.0);
    std::vector<cv::Mat> ch;
    cv::split(a, ch);
    EXPECT_EQ(cv::norm(ch[0], ch[1], cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(ch[0], ch[2], cv::NORM_INF), 0.0);
}
