// Clarity and texture: local contrast from one luminance plane at two scales.
#include <cfloat>
#include <cmath>
#include <limits>

#include <opencv2/imgproc.hpp>

#include "pipeline/stages.h"
#include "test_detail_common.h"

using vantorix::Adjustments;

namespace {

cv::Mat run(const cv::Mat& src, float clarity, float texture) {
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.clarity = clarity;
    adj.texture = texture;
    vantorix::apply_clarity_texture(img, adj);
    return img;
}

// The stage written plainly with split, matrix expressions and merge.
cv::Mat library_form(const cv::Mat& src, float clarity, float texture) {
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    const cv::Mat lum = ch[0] * 0.2126f + ch[1] * 0.7152f + ch[2] * 0.0722f;
    auto add = [&](double sigma, float k) {
        cv::Mat blurred;
        cv::GaussianBlur(lum, blurred, cv::Size(0, 0), sigma);
        const cv::Mat detail = lum - blurred;
        for (int c = 0; c < 3; ++c) {
            ch[c] = ch[c] + detail * k;
            cv::threshold(ch[c], ch[c], 0, 0, cv::THRESH_TOZERO);
            cv::threshold(ch[c], ch[c], 1, 1, cv::THRESH_TRUNC);
        }
    };
    if (clarity != 0) add(20.0, clarity / 100.0f * 0.3f);
    if (texture != 0) add(3.0, texture / 100.0f * 0.2f);
    cv::Mat out;
    cv::merge(ch, out);
    return out;
}

void expect_alpha_kept(const cv::Mat& before, const cv::Mat& after) {
    for (int y = 0; y < before.rows; ++y)
        for (int x = 0; x < before.cols; ++x)
            ASSERT_EQ(std::memcmp(&before.ptr<float>(y)[4 * x + 3], &after.ptr<float>(y)[4 * x + 3], sizeof(float)), 0);
}

}  // namespace

TEST(DetailClarityTexture, NeutralOrNaNSettingsLeaveImageUntouched) {
    cv::Mat src = detailref::make_image(24, 17, 1, -0.2f, 1.3f);  // values outside 0..1 must survive
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [c, t] : {std::pair{0.0f, 0.0f}, {-0.0f, 0.0f}, {nan, 0.0f}, {0.0f, nan}, {nan, nan}})
        EXPECT_TRUE(detailref::bit_identical(run(src, c, t), src)) << c << " " << t;
}

TEST(DetailClarityTexture, ClarityMatchesReference) {
    const cv::Mat src = detailref::make_image(40, 30, 2);
    for (float clarity : {100.0f, -60.0f, 12.5f}) {
        const cv::Mat out = run(src, clarity, 0.0f);
        EXPECT_LT(detailref::max_abs_diff(out, detailref::clarity_texture(src, clarity, 0.0f)), 2e-5) << clarity;
        EXPECT_GT(detailref::max_abs_diff(out, src), 1e-3) << clarity;  // the stage did act
    }
}

TEST(DetailClarityTexture, TextureMatchesReference) {
    const cv::Mat src = detailref::make_image(37, 29, 3);
    for (float texture : {100.0f, -100.0f, 37.5f}) {
        const cv::Mat out = run(src, 0.0f, texture);
        EXPECT_LT(detailref::max_abs_diff(out, detailref::clarity_texture(src, 0.0f, texture)), 2e-5) << texture;
        EXPECT_GT(detailref::max_abs_diff(out, src), 1e-3) << texture;
    }
}

TEST(DetailClarityTexture, TextureUsesLuminanceTakenBeforeClarity) {
    const cv::Mat src = detailref::make_image(41, 33, 4);
    const cv::Mat out = run(src, 90.0f, 100.0f);
    EXPECT_LT(detailref::max_abs_diff(out, detailref::clarity_texture(src, 90.0f, 100.0f)), 2e-5);
    // Recomputing the luminance after clarity gives a visibly different result.
    const cv::Mat chained = detailref::clarity_texture(detailref::clarity_texture(src, 90.0f, 0.0f), 0.0f, 100.0f);
    EXPECT_GT(detailref::max_abs_diff(out, chained), 1e-4);
}

TEST(DetailClarityTexture, FlatImageOnlyClamped) {
    cv::Mat flat(20, 30, CV_32FC4, cv::Scalar(0.4, 0.65, 0.2, 1.0));
    EXPECT_LT(detailref::max_abs_diff(run(flat, 100.0f, -100.0f), flat), 1e-6);

    cv::Mat outside(20, 30, CV_32FC4, cv::Scalar(1.25, -0.5, 0.5, 7.0));
    const cv::Mat out = run(outside, 50.0f, 0.0f);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x) {
            const cv::Vec4f v = out.at<cv::Vec4f>(y, x);
            EXPECT_EQ(v[0], 1.0f);
            EXPECT_EQ(v[1], 0.0f);
            EXPECT_NEAR(v[2], 0.5f, 1e-6);
            EXPECT_EQ(v[3], 7.0f);
        }
}

TEST(DetailClarityTexture, ClampsEachPlaneAndKeepsAlpha) {
    cv::Mat src = detailref::make_image(32, 32, 5);
    for (int y = 0; y < src.rows; ++y)  // hard checkerboard of 4x4 cells
        for (int x = 0; x < src.cols; ++x) {
            cv::Vec4f& v = src.at<cv::Vec4f>(y, x);
            const bool on = ((x / 4) + (y / 4)) % 2 == 0;
            v[0] = on ? 0.97f : 0.03f;
            v[1] = on ? 0.9f : 0.1f;
        }
    const cv::Mat out = run(src, 100.0f, 100.0f);
    double lo, hi;
    std::vector<cv::Mat> planes;
    cv::split(out, planes);
    for (int c = 0; c < 3; ++c) {
        cv::minMaxLoc(planes[c], &lo, &hi);
        EXPECT_GE(lo, 0.0);
        EXPECT_LE(hi, 1.0);
    }
    cv::minMaxLoc(planes[0], &lo, &hi);
    EXPECT_EQ(lo, 0.0);  // pushed past the ends and clamped exactly
    EXPECT_EQ(hi, 1.0);
    expect_alpha_kept(src, out);
    EXPECT_LT(detailref::max_abs_diff(out, detailref::clarity_texture(src, 100.0f, 100.0f)), 2e-5);
}

TEST(DetailClarityTexture, NegativeSettingsSoftenLocalContrast) {
    const cv::Mat src = detailref::make_image(48, 40, 6);
    auto laplacian_energy = [](const cv::Mat& img) {
        double e = 0;
        for (int y = 1; y + 1 < img.rows; ++y)
            for (int x = 1; x + 1 < img.cols; ++x) {
                const double d = 4.0 * img.at<cv::Vec4f>(y, x)[1] - img.at<cv::Vec4f>(y - 1, x)[1] -
                                 img.at<cv::Vec4f>(y + 1, x)[1] - img.at<cv::Vec4f>(y, x - 1)[1] -
                                 img.at<cv::Vec4f>(y, x + 1)[1];
                e += d * d;
            }
        return e;
    };
    EXPECT_LT(laplacian_energy(run(src, 0.0f, -100.0f)), 0.8 * laplacian_energy(src));
    EXPECT_GT(laplacian_energy(run(src, 0.0f, 100.0f)), 1.2 * laplacian_energy(src));
}

TEST(DetailClarityTexture, InfiniteSettingsActLikeTheLargestFinite) {
    const float inf = std::numeric_limits<float>::infinity();
    const cv::Mat src = detailref::make_image(20, 18, 7);
    const cv::Mat out = run(src, inf, 0.0f);
    EXPECT_TRUE(detailref::bit_identical(out, run(src, FLT_MAX, 0.0f)));
    EXPECT_TRUE(detailref::bit_identical(run(src, 0.0f, -inf), run(src, 0.0f, -FLT_MAX)));
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const float v = out.at<cv::Vec4f>(y, x)[c];
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
            }
}

TEST(DetailClarityTexture, MatchesPlainLibraryFormBitForBit) {
    const cv::Mat src = detailref::make_image(203, 67, 8, -0.05f, 1.05f);
    for (auto [c, t] : {std::pair{100.0f, 0.0f}, {0.0f, -70.0f}, {35.0f, 100.0f}, {-100.0f, 45.0f}})
        EXPECT_TRUE(detailref::bit_identical(run(src, c, t), library_form(src, c, t))) << c << " " << t;
}
