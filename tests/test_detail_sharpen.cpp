// Sharpening: thresholded unsharp mask per colour plane.
#include <opencv2/imgproc.hpp>

#include <cfloat>
#include <limits>

#include "pipeline/detail_helpers.h"
#include "pipeline/stages.h"
#include "test_detail_common.h"

using vantorix::Adjustments;

namespace {

cv::Mat run(const cv::Mat& src, float amount, float radius = 1.0f, float threshold = 0.0f) {
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.sharpen_amount = amount;
    adj.sharpen_radius = radius;
    adj.sharpen_threshold = threshold;
    vantorix::apply_sharpening(img, adj);
    return img;
}

// The stage written plainly with whole-image library operations.
cv::Mat library_form(const cv::Mat& src, float amount, float radius, float threshold) {
    const float a = amount / 150.0f, sigma = radius, theta = threshold / 65535.0f;
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    for (int c = 0; c < 3; ++c) {
        cv::Mat blurred, detail, abs_detail, mask, product;
        cv::GaussianBlur(ch[c], blurred, cv::Size(0, 0), sigma, 0);
        detail = ch[c] - blurred;
        cv::absdiff(detail, cv::Mat::zeros(detail.size(), detail.type()), abs_detail);
        cv::threshold(abs_detail, mask, theta, 1.0, cv::THRESH_BINARY);
        cv::multiply(detail, mask, product, 1.0);
        ch[c] = ch[c] + product * a;
        cv::threshold(ch[c], ch[c], 0, 0, cv::THRESH_TOZERO);
        cv::threshold(ch[c], ch[c], 1, 1, cv::THRESH_TRUNC);
    }
    cv::Mat out;
    cv::merge(ch, out);
    return out;
}

}  // namespace

TEST(DetailSharpen, NonPositiveAmountLeavesImageUntouched) {
    const cv::Mat src = detailref::make_image(22, 18, 41, -0.3f, 1.2f);
    for (float amount : {0.0f, -0.0f, -10.0f, -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()})
        EXPECT_TRUE(detailref::bit_identical(run(src, amount), src)) << amount;
}

TEST(DetailSharpen, ZeroNegativeOrNaNRadiusSkipsSharpening) {
    const cv::Mat src = detailref::make_image(22, 18, 42, -0.3f, 1.2f);
    for (float radius : {0.0f, -0.0f, -1.0f, -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()})
        EXPECT_TRUE(detailref::bit_identical(run(src, 100.0f, radius), src)) << radius;
}

TEST(DetailSharpen, MatchesReference) {
    const cv::Mat src = detailref::make_image(40, 31, 43);
    for (auto [amount, radius] : {std::pair{100.0f, 1.0f}, {150.0f, 2.5f}, {60.0f, 0.6f}, {300.0f, 1.3f}}) {
        const cv::Mat out = run(src, amount, radius, 0.0f);
        EXPECT_LT(detailref::max_abs_diff(out, detailref::sharpen(src, amount, radius, 0.0f)), 2e-5) << radius;
        EXPECT_GT(detailref::max_abs_diff(out, src), 1e-3);
    }
}

TEST(DetailSharpen, MatchesPlainLibraryFormBitForBit) {
    const cv::Mat src = detailref::make_image(64, 48, 44, -0.05f, 1.05f);
    for (auto [amount, radius, threshold] :
         {std::tuple{100.0f, 1.0f, 0.0f}, {80.0f, 1.7f, 300.0f}, {150.0f, 0.4f, 2000.0f}, {500.0f, 3.0f, -5.0f}})
        EXPECT_TRUE(detailref::bit_identical(run(src, amount, radius, threshold),
                                             library_form(src, amount, radius, threshold)))
            << amount << " " << radius << " " << threshold;
}

TEST(DetailSharpen, ThresholdComparisonIsStrictlyGreater) {
    const cv::Mat src = detailref::make_image(16, 16, 45);
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    cv::Mat blurred;
    cv::GaussianBlur(ch[0], blurred, cv::Size(0, 0), 1.0, 0);
    // Find a pixel whose |detail| is exactly some threshold / 65535 in single precision.
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x) {
            const float d = std::fabs(ch[0].at<float>(y, x) - blurred.at<float>(y, x));
            if (d < 1e-3f) continue;
            float thr = d * 65535.0f;
            for (int step = 0; step < 8 && thr / 65535.0f != d; ++step)
                thr = std::nextafter(thr, thr / 65535.0f < d ? INFINITY : 0.0f);
            if (thr / 65535.0f != d) continue;
            float below = std::nextafter(thr, 0.0f);
            while (below / 65535.0f >= d) below = std::nextafter(below, 0.0f);

            const float before = src.at<cv::Vec4f>(y, x)[0];
            EXPECT_EQ(run(src, 150.0f, 1.0f, thr).at<cv::Vec4f>(y, x)[0], before);  // |D| == theta: kept
            const float sharpened = run(src, 150.0f, 1.0f, below).at<cv::Vec4f>(y, x)[0];
            EXPECT_NE(sharpened, before);  // |D| > theta: detail added at full weight
            EXPECT_NEAR(sharpened, before + (before - blurred.at<float>(y, x)), 1e-6);
            return;
        }
    FAIL() << "no pixel with a representable threshold";
}

TEST(DetailSharpen, FullScaleThresholdSharpensNothing) {
    const cv::Mat src = detailref::make_image(30, 20, 46, 0.0f, 1.0f);
    EXPECT_TRUE(detailref::bit_identical(run(src, 150.0f, 2.0f, 65535.0f), src));
    // Sharpening nothing still clamps.
    cv::Mat outside = src.clone();
    outside.at<cv::Vec4f>(3, 4)[1] = 1.5f;
    outside.at<cv::Vec4f>(5, 6)[2] = -0.5f;
    const cv::Mat out = run(outside, 150.0f, 2.0f, 1e9f);
    EXPECT_EQ(out.at<cv::Vec4f>(3, 4)[1], 1.0f);
    EXPECT_EQ(out.at<cv::Vec4f>(5, 6)[2], 0.0f);
}

TEST(DetailSharpen, ClampsEachPlaneAndKeepsAlpha) {
    cv::Mat src = detailref::make_image(24, 24, 47);
    for (int y = 0; y < src.rows; ++y)
        for (int x = 0; x < src.cols; ++x) src.at<cv::Vec4f>(y, x)[1] = ((x / 3) % 2) ? 0.95f : 0.05f;
    const cv::Mat out = run(src, 1500.0f, 1.5f, 0.0f);
    std::vector<cv::Mat> po, ps;
    cv::split(out, po);
    cv::split(src, ps);
    double lo, hi;
    cv::minMaxLoc(po[1], &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 1.0);
    for (int c = 0; c < 3; ++c) {
        cv::minMaxLoc(po[c], &lo, &hi);
        EXPECT_GE(lo, 0.0);
        EXPECT_LE(hi, 1.0);
    }
    EXPECT_TRUE(detailref::bit_identical(po[3], ps[3]));
    EXPECT_LT(detailref::max_abs_diff(out, detailref::sharpen(src, 1500.0f, 1.5f, 0.0f)), 2e-4);
}

TEST(DetailSharpen, KernelSizeIsTheOneTheLibraryDerives) {
    const cv::Mat src = detailref::make_image(90, 70, 48);
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    for (float sigma : {0.01f, 0.1f, 0.3f, 0.5f, 0.8f, 1.0f, 1.2f, 1.5f, 1.9375f, 2.0f, 2.5f, 3.3f, 5.0f, 8.0f}) {
        const int k = vantorix::gaussian_kernel_size(sigma, 1 << 20);
        EXPECT_EQ(k, detailref::kernel_size_for_sigma(sigma)) << sigma;
        cv::Mat derived, given;
        cv::GaussianBlur(ch[1], derived, cv::Size(0, 0), sigma, 0);
        cv::GaussianBlur(ch[1], given, cv::Size(k, k), sigma, 0);
        EXPECT_TRUE(detailref::bit_identical(derived, given)) << sigma;
    }
}

TEST(DetailSharpen, HugeRadiusIsBoundedToImage) {
    EXPECT_EQ(vantorix::gaussian_kernel_size(1e30f, 21), 21);
    EXPECT_EQ(vantorix::gaussian_kernel_size(FLT_MAX, 4097), 4097);
    EXPECT_EQ(vantorix::gaussian_kernel_size(2.5f, 21), 21);
    EXPECT_EQ(vantorix::gaussian_kernel_size(2.4f, 21), 21);
    EXPECT_EQ(vantorix::gaussian_kernel_size(2.0f, 21), 17);
    const cv::Mat src = detailref::make_image(20, 12, 49);
    const float inf = std::numeric_limits<float>::infinity();
    const cv::Mat out = run(src, 100.0f, 1e30f);
    // A kernel of 21 taps with an enormous sigma: a box average.
    std::vector<cv::Mat> po;
    cv::split(out, po);
    cv::Mat expected = src.clone();
    for (int c = 0; c < 3; ++c) {
        detailref::Plane p = detailref::channel(src, c);
        const detailref::Plane b = detailref::blur(p, std::vector<double>(21, 1.0 / 21));
        for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = detailref::clamp01(p.v[i] + (p.v[i] - b.v[i]) * (100.0f / 150.0f));
        detailref::set_channel(expected, c, p);
    }
    EXPECT_LT(detailref::max_abs_diff(out, expected), 2e-5);
    EXPECT_TRUE(detailref::bit_identical(run(src, 100.0f, inf), run(src, 100.0f, FLT_MAX)));
    // An infinite amount acts as the largest finite one: no NaN from 0 x infinity.
    const cv::Mat loud = run(src, inf, 1.0f, 0.0f);
    EXPECT_TRUE(detailref::bit_identical(loud, run(src, FLT_MAX, 1.0f, 0.0f)));
    for (int y = 0; y < loud.rows; ++y)
        for (int x = 0; x < loud.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const float v = loud.at<cv::Vec4f>(y, x)[c];
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
            }
    // A NaN threshold lets no detail through; nor does a full-scale one, even
    // with an infinite amount (masked-out detail times the amount stays 0).
    const cv::Mat unit = detailref::make_image(20, 12, 50, 0.0f, 1.0f);
    EXPECT_TRUE(detailref::bit_identical(run(unit, inf, 1.0f, 65535.0f), unit));
    EXPECT_TRUE(detailref::bit_identical(run(unit, 100.0f, 1.0f, std::numeric_limits<float>::quiet_NaN()), unit));
}
