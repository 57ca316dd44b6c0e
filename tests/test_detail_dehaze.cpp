// Dehaze: dark channel, atmospheric light, transmission and recovery.
#include <opencv2/imgproc.hpp>

#include <cfloat>
#include <limits>

#include "pipeline/detail_helpers.h"
#include "pipeline/stages.h"
#include "test_detail_common.h"

using vantorix::Adjustments;

namespace {

cv::Mat run(const cv::Mat& src, float dehaze) {
    cv::Mat img = src.clone();
    Adjustments adj;
    adj.dehaze = dehaze;
    vantorix::apply_dehaze(img, adj);
    return img;
}

// The stage written plainly with whole-image library operations and a full sort.
cv::Mat library_form(const cv::Mat& src, float dehaze) {
    const float s = dehaze / 100.0f;
    std::vector<cv::Mat> ch;
    cv::split(src, ch);
    cv::Mat dark = cv::min(cv::min(ch[0], ch[1]), ch[2]);
    int w = static_cast<int>(src.cols * 0.02f) | 1;
    w = std::max(w, 3);
    cv::Mat dmin;
    cv::erode(dark, dmin, cv::Mat::ones(w, w, CV_8U));
    cv::Mat sorted;
    cv::sort(dmin.reshape(1, 1), sorted, cv::SORT_EVERY_ROW | cv::SORT_DESCENDING);
    const int n = std::max(1, static_cast<int>(static_cast<float>(dmin.total()) * 0.001f));
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += sorted.at<float>(0, i);
    const float a = std::max(sum / n, 0.01f);
    cv::Mat t = 1.0 - (0.95f * s) * dmin / a;
    cv::GaussianBlur(t, t, cv::Size(0, 0), 5.0);
    t = cv::max(t, 0.1f);
    for (int c = 0; c < 3; ++c) {
        ch[c] = (ch[c] - a) / t + a;
        cv::threshold(ch[c], ch[c], 0, 0, cv::THRESH_TOZERO);
        cv::threshold(ch[c], ch[c], 1, 1, cv::THRESH_TRUNC);
    }
    cv::Mat out;
    cv::merge(ch, out);
    return out;
}

float full_sort_light(const cv::Mat& plane) {
    cv::Mat sorted;
    cv::sort(plane.clone().reshape(1, 1), sorted, cv::SORT_EVERY_ROW | cv::SORT_DESCENDING);
    const int n = std::max(1, static_cast<int>(static_cast<float>(plane.total()) * 0.001f));
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += sorted.at<float>(0, i);
    return std::max(sum / n, 0.01f);
}

}  // namespace

TEST(DetailDehaze, NonPositiveOrNaNSettingLeavesImageUntouched) {
    const cv::Mat src = detailref::make_image(30, 20, 11, -0.1f, 1.2f);
    for (float d : {0.0f, -0.0f, -5.0f, -100.0f, -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()})
        EXPECT_TRUE(detailref::bit_identical(run(src, d), src)) << d;
}

TEST(DetailDehaze, WindowSizeFollowsWidth) {
    EXPECT_EQ(vantorix::haze_window_size(4000), 81);
    EXPECT_EQ(vantorix::haze_window_size(4096), 81);
    EXPECT_EQ(vantorix::haze_window_size(100), 3);
    EXPECT_EQ(vantorix::haze_window_size(199), 3);
    EXPECT_EQ(vantorix::haze_window_size(200), 5);
    EXPECT_EQ(vantorix::haze_window_size(250), 5);
    EXPECT_EQ(vantorix::haze_window_size(300), 7);
    EXPECT_EQ(vantorix::haze_window_size(1), 3);
    for (int cols : {1, 57, 149, 150, 351, 1000, 2731, 3999})
        EXPECT_EQ(vantorix::haze_window_size(cols), detailref::haze_window(cols)) << cols;
}

TEST(DetailDehaze, RecoversSyntheticHazyImageWithKnownLight) {
    // Scene J: every pixel has one channel at 0 (dark channel 0); the top rows
    // are sky at the atmospheric light. Haze: I = J t + A (1 - t).
    const int cols = 64, rows = 40, sky = 6;
    const float a_true = 0.85f, t_true = 0.7f;
    cv::Mat clear(rows, cols, CV_32FC4), hazy(rows, cols, CV_32FC4);
    cv::RNG rng(12);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            cv::Vec4f j(0, 0, 0, 1);
            for (int c = 0; c < 3; ++c) j[c] = (c == (x + y) % 3) ? 0.0f : rng.uniform(0.2f, 0.9f);
            cv::Vec4f i = j;
            for (int c = 0; c < 3; ++c) i[c] = y < sky ? a_true : j[c] * t_true + a_true * (1.0f - t_true);
            clear.at<cv::Vec4f>(y, x) = j;
            hazy.at<cv::Vec4f>(y, x) = i;
        }
    float a_ref = 0;
    const cv::Mat ref = detailref::dehaze(hazy, 100.0f, &a_ref);
    EXPECT_EQ(a_ref, a_true);  // n = 2 sky values of exactly 0.85

    // The stage's own estimate from the eroded dark channel.
    cv::Mat dark(rows, cols, CV_32F);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            const cv::Vec4f v = hazy.at<cv::Vec4f>(y, x);
            dark.at<float>(y, x) = std::min({v[0], v[1], v[2]});
        }
    cv::erode(dark, dark, cv::Mat::ones(3, 3, CV_8U));
    EXPECT_EQ(vantorix::haze_atmospheric_light(dark), a_true);

    const cv::Mat out = run(hazy, 100.0f);
    EXPECT_LT(detailref::max_abs_diff(out, ref), 5e-5);
    // Far from the sky the transmission is 1 - 0.95 * 0.3 = 0.715: the scene
    // comes back to within a few hundredths, from a haze error of up to 0.2.
    double worst_before = 0, worst_after = 0;
    for (int y = sky + 12; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const double j = clear.at<cv::Vec4f>(y, x)[c];
                worst_before = std::max(worst_before, std::fabs(hazy.at<cv::Vec4f>(y, x)[c] - j));
                worst_after = std::max(worst_after, std::fabs(out.at<cv::Vec4f>(y, x)[c] - j));
            }
    EXPECT_GT(worst_before, 0.15);
    EXPECT_LT(worst_after, 0.03);
}

TEST(DetailDehaze, DarkImageUsesLightFloor) {
    cv::Mat src = detailref::make_image(50, 30, 13, 0.0f, 0.004f);
    float a_ref = 0;
    const cv::Mat ref = detailref::dehaze(src, 60.0f, &a_ref);
    EXPECT_EQ(a_ref, 0.01f);
    EXPECT_LT(detailref::max_abs_diff(run(src, 60.0f), ref), 5e-5);
    cv::Mat plane(30, 50, CV_32F, cv::Scalar(0.003));
    EXPECT_EQ(vantorix::haze_atmospheric_light(plane), 0.01f);
}

TEST(DetailDehaze, SmallImageTakesSingleBrightestValue) {
    cv::Mat plane(25, 39, CV_32F, cv::Scalar(0.2));  // 975 values: n = 1
    plane.at<float>(7, 30) = 0.61f;
    plane.at<float>(3, 3) = 0.6f;
    EXPECT_EQ(vantorix::haze_atmospheric_light(plane), 0.61f);
    cv::Mat src = detailref::make_image(39, 25, 14);
    float a_ref = 0;
    const cv::Mat ref = detailref::dehaze(src, 100.0f, &a_ref);
    EXPECT_LT(detailref::max_abs_diff(run(src, 100.0f), ref), 5e-5);
}

TEST(DetailDehaze, NarrowImageUsesThreeByThreeWindow) {
    const cv::Mat src = detailref::make_image(150, 14, 15);
    const cv::Mat out = run(src, 80.0f);
    EXPECT_LT(detailref::max_abs_diff(out, detailref::dehaze(src, 80.0f, nullptr, 3)), 5e-5);
    EXPECT_GT(detailref::max_abs_diff(out, detailref::dehaze(src, 80.0f, nullptr, 5)), 1e-3);
    // From a width of 200 on the window is 5 x 5.
    const cv::Mat wide = detailref::make_image(200, 10, 16);
    EXPECT_LT(detailref::max_abs_diff(run(wide, 80.0f), detailref::dehaze(wide, 80.0f, nullptr, 5)), 5e-5);
}

TEST(DetailDehaze, DenseHazeDividesByTransmissionFloor) {
    // Uniform haze at 0.95: t = 1 - 0.95 = 0.05 everywhere, bounded to 0.1.
    cv::Mat src(12, 16, CV_32FC4, cv::Scalar(0.95, 0.95, 0.95, 1.0));
    src.at<cv::Vec4f>(5, 7)[0] = 0.9f;
    src.at<cv::Vec4f>(8, 3)[2] = 0.5f;
    const cv::Mat out = run(src, 100.0f);
    const float a = 0.95f;
    EXPECT_NEAR(out.at<cv::Vec4f>(5, 7)[0], (0.9f - a) / 0.1f + a, 1e-6);
    EXPECT_EQ(out.at<cv::Vec4f>(8, 3)[2], 0.0f);  // (0.5 - 0.95) / 0.1 + 0.95 < 0
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            for (int c = 0; c < 4; ++c) {
                const float v = out.at<cv::Vec4f>(y, x)[c];
                ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f);
            }
    EXPECT_LT(detailref::max_abs_diff(out, detailref::dehaze(src, 100.0f)), 5e-5);
}

TEST(DetailDehaze, AlphaNeverReadOrChanged) {
    cv::Mat src = detailref::make_image(33, 21, 17);
    cv::Mat odd_alpha = src.clone();
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -3.0f,
                              5.0f};
    for (int y = 0; y < src.rows; ++y)
        for (int x = 0; x < src.cols; ++x) odd_alpha.at<cv::Vec4f>(y, x)[3] = specials[(x + y) % 4];
    const cv::Mat a = run(src, 70.0f), b = run(odd_alpha, 70.0f);
    std::vector<cv::Mat> pa, pb, po;
    cv::split(a, pa);
    cv::split(b, pb);
    cv::split(odd_alpha, po);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(detailref::bit_identical(pa[c], pb[c]));
    EXPECT_TRUE(detailref::bit_identical(pb[3], po[3]));
}

TEST(DetailDehaze, PartialSelectionEqualsFullSort) {
    cv::RNG rng(18);
    std::vector<cv::Mat> planes;
    for (cv::Size sz : {cv::Size(1, 1), cv::Size(7, 3), cv::Size(31, 32), cv::Size(100, 100), cv::Size(257, 199),
                        cv::Size(640, 480)}) {
        cv::Mat p(sz, CV_32F);
        rng.fill(p, cv::RNG::UNIFORM, 0.0, 1.0);
        planes.push_back(p);
        cv::Mat q;  // many ties: steps of 1/255
        p.convertTo(q, CV_8U, 255.0);
        q.convertTo(q, CV_32F, 1.0 / 255.0);
        planes.push_back(q);
    }
    planes.push_back(cv::Mat(300, 200, CV_32F, cv::Scalar(0.37)));  // all equal
    planes.push_back(cv::Mat(300, 200, CV_32F, cv::Scalar(0.0)));
    cv::Mat narrow(400, 300, CV_32F);  // all values in a sliver near 0.5
    rng.fill(narrow, cv::RNG::UNIFORM, 0.5, 0.5001);
    planes.push_back(narrow);
    cv::Mat mixed(300, 301, CV_32F);  // negative values, zeros of both signs, outliers
    rng.fill(mixed, cv::RNG::NORMAL, 0.0, 0.5);
    for (int i = 0; i < 40; ++i) mixed.at<float>(i, i * 7) = (i % 2) ? -0.0f : 30.0f + i;
    planes.push_back(mixed);
    cv::Mat negative(250, 250, CV_32F);
    rng.fill(negative, cv::RNG::UNIFORM, -1.0, -0.5);
    planes.push_back(negative);

    for (const cv::Mat& p : planes) {
        const float expected = full_sort_light(p);
        const float got = vantorix::haze_atmospheric_light(p);
        EXPECT_EQ(std::memcmp(&expected, &got, sizeof(float)), 0) << p.size() << " " << expected << " vs " << got;
    }
}

TEST(DetailDehaze, MatchesPlainLibraryFormBitForBit) {
    for (auto [cols, rows, setting] : {std::tuple{300, 200, 100.0f}, {150, 90, 35.0f}, {257, 64, 250.0f}}) {
        const cv::Mat src = detailref::make_image(cols, rows, 19 + cols);
        EXPECT_TRUE(detailref::bit_identical(run(src, setting), library_form(src, setting))) << cols;
    }
}

TEST(DetailDehaze, HugeSettingsStayFinite) {
    const cv::Mat src = detailref::make_image(40, 30, 20);
    const cv::Mat inf_out = run(src, std::numeric_limits<float>::infinity());
    EXPECT_TRUE(detailref::bit_identical(inf_out, run(src, FLT_MAX)));
    for (int y = 0; y < inf_out.rows; ++y)
        for (int x = 0; x < inf_out.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const float v = inf_out.at<cv::Vec4f>(y, x)[c];
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
            }
}
