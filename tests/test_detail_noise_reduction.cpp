// Noise reduction: luminance ratio blend and colour blur, kernel sizes from the settings.
#include <cfloat>
#include <limits>

#include <opencv2/imgproc.hpp>

#include "pipeline/detail_helpers.h"
#include "pipeline/stages.h"
#include "test_detail_common.h"

using vantorix::Adjustments;

namespace {

cv::Mat run(const cv::Mat& src, float nr_lum, float nr_col) {
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.nr_luminance = nr_lum;
    adj.nr_color = nr_col;
    vantorix::apply_noise_reduction(img, adj);
    return img;
}

// The stage written plainly with split, matrix expressions and merge.
cv::Mat library_form(const cv::Mat& src, float nr_lum, float nr_col) {
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    if (nr_lum > 0) {
        const float s = nr_lum / 100.0f;
        const cv::Mat lum = ch[0] * 0.2126f + ch[1] * 0.7152f + ch[2] * 0.0722f;
        const int k = 3 - 2 * static_cast<int>(nr_lum / -100.0f * 5.0f);
        cv::Mat blurred;
        cv::GaussianBlur(lum, blurred, cv::Size(k, k), 0, 0);
        const float a = s * 0.6f, b = 1.0f - a;
        const cv::Mat q = blurred / (lum + 1e-6f);
        for (int c = 0; c < 3; ++c) ch[c] = ch[c] * b + ch[c].mul(q) * a;
    }
    if (nr_col > 0) {
        const int k2 = 3 - 2 * static_cast<int>(nr_col / -100.0f * 4.0f);
        for (int c = 0; c < 3; ++c) cv::GaussianBlur(ch[c], ch[c], cv::Size(k2, k2), 0, 0);
    }
    cv::Mat out;
    cv::merge(ch, out);
    return out;
}

// Largest difference relative to max(1, |reference|).
double max_rel_diff(const cv::Mat& a, const cv::Mat& ref) {
    double m = 0;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols * 4; ++x) {
            const double r = ref.ptr<float>(y)[x];
            m = std::max(m, std::fabs(a.ptr<float>(y)[x] - r) / std::max(1.0, std::fabs(r)));
        }
    return m;
}

constexpr int kBig = 1 << 20;

}  // namespace

TEST(DetailNoiseReduction, NeutralNegativeOrNaNSettingsLeaveImageUntouched) {
    const cv::Mat src = detailref::make_image(23, 19, 31, -0.2f, 1.4f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [l, c] : {std::pair{0.0f, 0.0f}, {-10.0f, 0.0f}, {0.0f, -50.0f}, {-1.0f, -1.0f}, {nan, 0.0f},
                        {0.0f, nan}, {nan, -3.0f}, {-std::numeric_limits<float>::infinity(), 0.0f}})
        EXPECT_TRUE(detailref::bit_identical(run(src, l, c), src)) << l << " " << c;
}

TEST(DetailNoiseReduction, KernelSizesFromSettings) {
    struct Case {
        float setting;
        int lum, col;
    };
    for (const Case& k : {Case{0.5f, 3, 3}, Case{19.9f, 3, 3}, Case{20.0f, 5, 3}, Case{24.9f, 5, 3}, Case{25.0f, 5, 5},
                          Case{39.9f, 5, 5}, Case{40.0f, 7, 5}, Case{50.0f, 7, 7}, Case{60.0f, 9, 7},
                          Case{75.0f, 9, 9}, Case{80.0f, 11, 9}, Case{100.0f, 13, 11}, Case{120.0f, 15, 11},
                          Case{125.0f, 15, 13}}) {
        EXPECT_EQ(vantorix::stepped_kernel_size(k.setting, 5.0f, kBig), k.lum) << k.setting;
        EXPECT_EQ(vantorix::stepped_kernel_size(k.setting, 4.0f, kBig), k.col) << k.setting;
        EXPECT_EQ(detailref::stepped_size(k.setting, 5.0f), k.lum) << k.setting;
        EXPECT_EQ(detailref::stepped_size(k.setting, 4.0f), k.col) << k.setting;
    }
}

TEST(DetailNoiseReduction, LuminanceMatchesReferenceAtKernelSteps) {
    const cv::Mat src = detailref::make_image(40, 32, 32);
    for (auto [setting, k] : {std::pair{19.9f, 3}, {20.0f, 5}, {60.0f, 9}, {100.0f, 13}}) {
        const cv::Mat out = run(src, setting, 0.0f);
        EXPECT_LT(max_rel_diff(out, detailref::noise_reduction(src, setting, 0.0f, k, 0)), 1e-5) << setting;
        // The neighbouring kernel size would be visibly different.
        EXPECT_GT(max_rel_diff(out, detailref::noise_reduction(src, setting, 0.0f, k + 2, 0)), 1e-4) << setting;
    }
}

TEST(DetailNoiseReduction, StepEdgeFollowsLuminanceRatio) {
    const int cols = 30, rows = 9, edge = 15;
    cv::Mat src(rows, cols, CV_32FC4);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            src.at<cv::Vec4f>(y, x) = x < edge ? cv::Vec4f(0.3f, 0.2f, 0.1f, 1.0f) : cv::Vec4f(0.9f, 0.8f, 0.6f, 1.0f);
    const cv::Mat out = run(src, 100.0f, 0.0f);  // 13 x 13 kernel, a = 0.6

    // Luminance of each side and the blurred luminance across the edge (rows are uniform).
    const double l_dark = double(0.2126f) * 0.3f + double(0.7152f) * 0.2f + double(0.0722f) * 0.1f;
    const double l_bright = double(0.2126f) * 0.9f + double(0.7152f) * 0.8f + double(0.0722f) * 0.6f;
    const std::vector<double> w = detailref::gaussian_weights(13, 0.3 * ((13 - 1) * 0.5 - 1) + 0.8);
    const float a = 0.6f, b = 1.0f - a;
    for (int x = 0; x < cols; ++x) {
        double lb = 0;
        for (int i = 0; i < 13; ++i) lb += w[i] * (detailref::reflect101(x + i - 6, cols) < edge ? l_dark : l_bright);
        const double l = x < edge ? l_dark : l_bright;
        const double q = lb / (l + double(1e-6f));
        const cv::Vec4f in = src.at<cv::Vec4f>(4, x), got = out.at<cv::Vec4f>(4, x);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], in[c] * b + in[c] * q * a, 2e-6) << x << " " << c;
        // Colour proportions are kept.
        EXPECT_NEAR(got[0] / got[1], in[0] / in[1], 1e-5) << x;
        EXPECT_NEAR(got[2] / got[1], in[2] / in[1], 1e-5) << x;
        if (x < edge - 6 || x >= edge + 6) {  // outside the kernel's reach
            EXPECT_NEAR(got[1], in[1], 1e-6) << x;
        }
    }
    EXPECT_GT(out.at<cv::Vec4f>(4, edge - 1)[1], 0.2f + 0.05f);  // dark side pulled up
    EXPECT_LT(out.at<cv::Vec4f>(4, edge)[1], 0.8f - 0.05f);      // bright side pulled down
}

TEST(DetailNoiseReduction, UniformImageStaysPut) {
    const cv::Mat flat(20, 24, CV_32FC4, cv::Scalar(0.25, 0.5, 0.75, 1.0));
    EXPECT_LT(detailref::max_abs_diff(run(flat, 100.0f, 100.0f), flat), 1e-6);
}

TEST(DetailNoiseReduction, BlackPixelStaysBlackAndDarkPixelIsNotClamped) {
    cv::Mat src(15, 15, CV_32FC4, cv::Scalar(0.8, 0.8, 0.8, 1.0));
    src.at<cv::Vec4f>(7, 7) = cv::Vec4f(0, 0, 0, 1);
    src.at<cv::Vec4f>(2, 2) = cv::Vec4f(0.0f, 0.0f, 0.1f, 1);  // dark blue: luminance 0.00722
    const cv::Mat out = run(src, 100.0f, 0.0f);
    const cv::Vec4f black = out.at<cv::Vec4f>(7, 7), dark = out.at<cv::Vec4f>(2, 2);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(black[c], 0.0f);
    EXPECT_GT(dark[2], 1.0f);  // Q is large beside bright neighbours; nothing clamps the result
    EXPECT_LT(max_rel_diff(out, detailref::noise_reduction(src, 100.0f, 0.0f, 13, 0)), 1e-5);
}

TEST(DetailNoiseReduction, ColorOnlyBlursPlanesAndKeepsAlpha) {
    const cv::Mat src = detailref::make_image(36, 28, 33);
    for (auto [setting, k] : {std::pair{24.9f, 3}, {25.0f, 5}, {100.0f, 11}}) {
        const cv::Mat out = run(src, 0.0f, setting);
        EXPECT_LT(detailref::max_abs_diff(out, detailref::noise_reduction(src, 0.0f, setting, 0, k)), 1e-6) << setting;
        EXPECT_GT(detailref::max_abs_diff(out, detailref::noise_reduction(src, 0.0f, setting, 0, k + 2)), 1e-4);
        std::vector<cv::Mat> po, ps;
        cv::split(out, po);
        cv::split(src, ps);
        EXPECT_TRUE(detailref::bit_identical(po[3], ps[3]));
    }
    // Both steps: colour blur runs on the planes the luminance step left.
    const cv::Mat both = run(src, 50.0f, 50.0f);
    EXPECT_LT(max_rel_diff(both, detailref::noise_reduction(src, 50.0f, 50.0f, 7, 7)), 1e-5);
}

TEST(DetailNoiseReduction, HugeSettingsBoundKernelToImage) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(vantorix::stepped_kernel_size(1e30f, 5.0f, 21), 21);
    EXPECT_EQ(vantorix::stepped_kernel_size(inf, 4.0f, 21), 21);
    EXPECT_EQ(vantorix::stepped_kernel_size(FLT_MAX, 5.0f, 4097), 4097);
    EXPECT_EQ(vantorix::stepped_kernel_size(100.0f, 5.0f, 13), 13);
    EXPECT_EQ(vantorix::stepped_kernel_size(100.0f, 5.0f, 11), 11);
    EXPECT_EQ(vantorix::kernel_size_bound(cv::Mat(14, 21, CV_32FC4)), 21);
    EXPECT_EQ(vantorix::kernel_size_bound(cv::Mat(12, 8, CV_32FC4)), 13);
    EXPECT_EQ(vantorix::kernel_size_bound(cv::Mat(1, 1, CV_32FC4)), 1);

    const cv::Mat src = detailref::make_image(21, 14, 34);
    // The blend itself extrapolates far (b = 1 - a is hugely negative) but stays finite.
    for (float setting : {1e30f, inf}) {
        const cv::Mat huge = run(src, setting, 0.0f);
        for (int y = 0; y < huge.rows; ++y)
            for (int x = 0; x < huge.cols * 4; ++x) ASSERT_TRUE(std::isfinite(huge.ptr<float>(y)[x])) << setting;
    }
    EXPECT_TRUE(detailref::bit_identical(run(src, 0.0f, inf), run(src, 0.0f, FLT_MAX)));
    EXPECT_LT(detailref::max_abs_diff(run(src, 0.0f, inf), detailref::noise_reduction(src, 0.0f, 1.0f, 0, 21)), 1e-6);
    // A NaN setting does not run its step; the other one still does.
    EXPECT_TRUE(detailref::bit_identical(run(src, std::numeric_limits<float>::quiet_NaN(), 50.0f), run(src, 0.0f, 50.0f)));
    // On a 12 x 8 image the 13 x 13 kernel of setting 100 stays as it is.
    const cv::Mat small = detailref::make_image(12, 8, 35);
    EXPECT_LT(max_rel_diff(run(small, 100.0f, 0.0f), detailref::noise_reduction(small, 100.0f, 0.0f, 13, 0)), 1e-5);
    // A 5 x 3 image bounds it to 5 x 5.
    const cv::Mat tiny = detailref::make_image(5, 3, 36);
    EXPECT_LT(max_rel_diff(run(tiny, 100.0f, 0.0f), detailref::noise_reduction(tiny, 100.0f, 0.0f, 5, 0)), 1e-5);
}

TEST(DetailNoiseReduction, MatchesPlainLibraryFormBitForBit) {
    const cv::Mat src = detailref::make_image(131, 77, 37, 0.0f, 1.0f);
    for (auto [l, c] : {std::pair{100.0f, 0.0f}, {0.0f, 100.0f}, {33.0f, 61.0f}, {150.0f, 7.0f}})
        EXPECT_TRUE(detailref::bit_identical(run(src, l, c), library_form(src, l, c))) << l << " " << c;
}
