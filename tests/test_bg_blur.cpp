// Background blur of the preview behind the segmented subject.
#include <cmath>
#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "engine/context.h"
#include "output/histogram.h"
#include "test_segment_images.h"

using testsupport::Context;

namespace {

// Kernel size from its definition: trunc(amount / 100 x 61) with the lowest
// bit set, limited to 3..61.
int reference_kernel(float amount) {
    const float scaled = amount / 100.0f * 61.0f;
    const int k = static_cast<int>(std::trunc(scaled)) | 1;
    return k < 3 ? 3 : (k > 61 ? 61 : k);
}

// The blend written as the plain chain of whole-matrix operations: mask to
// float (÷255), four copies merged, both images to float, F·M + B·(1 − M),
// back to 8 bits.
cv::Mat reference_blend(const cv::Mat& preview, const cv::Mat& mask, int k) {
    cv::Mat m8 = mask;
    if (mask.size() != preview.size()) cv::resize(mask, m8, preview.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat blurred;
    cv::GaussianBlur(preview, blurred, cv::Size(k, k), 0, 0, cv::BORDER_REFLECT_101);
    cv::Mat m, M, F, Bf, inv, a, b, R, out;
    m8.convertTo(m, CV_32F, 0.00392156862745098);
    cv::merge(std::vector<cv::Mat>{m, m, m, m}, M);
    preview.convertTo(F, CV_32FC4, 1.0);
    blurred.convertTo(Bf, CV_32FC4, 1.0);
    cv::subtract(cv::Scalar(1.0, 1.0, 1.0, 1.0), M, inv);
    cv::multiply(F, M, a);
    cv::multiply(Bf, inv, b);
    cv::add(a, b, R);
    R.convertTo(out, CV_8UC4, 1.0);
    return out;
}

cv::Mat random_rgba(int w, int h, uint64_t seed) {
    cv::RNG rng(seed);
    cv::Mat img(h, w, CV_8UC4);
    rng.fill(img, cv::RNG::UNIFORM, 0, 256);
    return img;
}

// Mask holding every value 0..255 (repeated), plus random placement.
cv::Mat all_values_mask(int w, int h, uint64_t seed) {
    cv::RNG rng(seed);
    cv::Mat m(h, w, CV_8UC1);
    for (int i = 0; i < w * h; ++i) m.data[i] = static_cast<uchar>(i % 3 == 0 ? i % 256 : rng.uniform(0, 256));
    return m;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    return cv::norm(a, b, cv::NORM_INF) == 0.0;
}

cv::Mat preview(EngineContext* ctx) {
    if (vantorix_process(ctx) != 0) return cv::Mat();
    cv::Mat out(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC4);
    if (vantorix_get_preview(ctx, out.data, static_cast<int>(out.total() * 4)) != 0) return cv::Mat();
    return out;
}

const int kW = 120, kH = 90;

// A context holding the disc image, segmented.
void load_and_segment(EngineContext* ctx, const char* name) {
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW, kH, {60.0f, 45.0f}, 22.0f), name));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0) << vantorix_last_error(ctx);
}

}  // namespace

TEST(BgBlurKernel, Sizes) {
    EXPECT_EQ(vantorix::background_blur_kernel(1.0f), 3);
    EXPECT_EQ(vantorix::background_blur_kernel(10.0f), 7);
    EXPECT_EQ(vantorix::background_blur_kernel(50.0f), 31);
    EXPECT_EQ(vantorix::background_blur_kernel(100.0f), 61);
    for (int i = 0; i <= 4000; ++i) {
        const float amount = static_cast<float>(i) * 0.025f;
        ASSERT_EQ(vantorix::background_blur_kernel(amount), reference_kernel(amount)) << amount;
    }
    // Out-of-range amounts (the setter never stores them) stay in 3..61.
    EXPECT_EQ(vantorix::background_blur_kernel(std::numeric_limits<float>::quiet_NaN()), 3);
    EXPECT_EQ(vantorix::background_blur_kernel(-50.0f), 3);
    EXPECT_EQ(vantorix::background_blur_kernel(1e30f), 61);
    EXPECT_EQ(vantorix::background_blur_kernel(std::numeric_limits<float>::infinity()), 61);
}

TEST(BgBlurBlend, MatchesWholeMatrixFormula) {
    for (int k_amount : {1, 10, 30, 50, 100}) {
        const cv::Mat img = random_rgba(67, 41, 11 + k_amount);
        const cv::Mat mask = all_values_mask(67, 41, 5 + k_amount);
        const float amount = static_cast<float>(k_amount);
        const cv::Mat got = vantorix::blur_background(img, mask, amount);
        ASSERT_TRUE(same(got, reference_blend(img, mask, reference_kernel(amount)))) << amount;
    }
    // A smooth picture (rounding of the blend close to .5 happens there too).
    cv::Mat smooth(50, 64, CV_8UC4);
    for (int y = 0; y < smooth.rows; ++y)
        for (int x = 0; x < smooth.cols; ++x)
            smooth.at<cv::Vec4b>(y, x) = cv::Vec4b(static_cast<uchar>(x * 4), static_cast<uchar>(y * 5),
                                                   static_cast<uchar>((x + y) * 2), 255);
    const cv::Mat mask = all_values_mask(64, 50, 3);
    EXPECT_TRUE(same(vantorix::blur_background(smooth, mask, 25.0f), reference_blend(smooth, mask, 15)));
}

TEST(BgBlurBlend, MaskExtremes) {
    const cv::Mat img = random_rgba(40, 30, 1);
    // 255 everywhere: the conversion to float and back is exact.
    EXPECT_TRUE(same(vantorix::blur_background(img, cv::Mat(30, 40, CV_8UC1, cv::Scalar(255)), 100.0f), img));
    // 0 everywhere: the Gaussian blur with k x k, alpha included.
    cv::Mat blurred;
    cv::GaussianBlur(img, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REFLECT_101);
    EXPECT_TRUE(same(vantorix::blur_background(img, cv::Mat(30, 40, CV_8UC1, cv::Scalar(0)), 50.0f), blurred));
    // Half weight, by hand for one pixel: 128/255 of the sharp value.
    const cv::Mat half = vantorix::blur_background(img, cv::Mat(30, 40, CV_8UC1, cv::Scalar(128)), 10.0f);
    cv::GaussianBlur(img, blurred, cv::Size(7, 7), 0, 0, cv::BORDER_REFLECT_101);
    const float w = 128.0f * static_cast<float>(1.0 / 255.0);
    for (int c = 0; c < 4; ++c) {
        const float v = img.at<cv::Vec4b>(7, 9)[c] * w + blurred.at<cv::Vec4b>(7, 9)[c] * (1.0f - w);
        EXPECT_NEAR(half.at<cv::Vec4b>(7, 9)[c], v, 0.5001) << c;
    }
}

TEST(BgBlurBlend, MaskOfOtherSizeIsStretchedLinearly) {
    const cv::Mat img = random_rgba(60, 44, 2);
    const cv::Mat mask = all_values_mask(23, 71, 9);
    const cv::Mat got = vantorix::blur_background(img, mask, 40.0f);
    EXPECT_TRUE(same(got, reference_blend(img, mask, 25)));
    cv::Mat stretched;
    cv::resize(mask, stretched, img.size(), 0, 0, cv::INTER_LINEAR);
    EXPECT_TRUE(same(got, reference_blend(img, stretched, 25)));
}

TEST(BgBlurPreview, BlursBehindSegmentedSubject) {
    Context ctx;
    load_and_segment(ctx, "blur.png");
    const cv::Mat plain = preview(ctx);
    ASSERT_FALSE(plain.empty());
    const cv::Mat mask = segtest::read_mask(ctx, kW, kH);
    ASSERT_FALSE(mask.empty());

    vantorix_set_bg_blur(ctx, 30.0f);  // kernel 19
    const cv::Mat blurred = preview(ctx);
    ASSERT_FALSE(blurred.empty());
    EXPECT_TRUE(same(blurred, reference_blend(plain, mask, 19)));

    cv::Mat soft;
    cv::GaussianBlur(plain, soft, cv::Size(19, 19), 0, 0, cv::BORDER_REFLECT_101);
    int subject = 0, background = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (mask.at<uchar>(y, x) == 255) {
                ++subject;
                ASSERT_EQ(blurred.at<cv::Vec4b>(y, x), plain.at<cv::Vec4b>(y, x));
            } else if (mask.at<uchar>(y, x) == 0) {
                ++background;
                ASSERT_EQ(blurred.at<cv::Vec4b>(y, x), soft.at<cv::Vec4b>(y, x));
            }
        }
    EXPECT_GT(subject, 800);
    EXPECT_GT(background, 5000);
    EXPECT_FALSE(same(blurred, plain));  // the textured background changed

    // A NaN amount is stored as 100: kernel 61.
    vantorix_set_bg_blur(ctx, std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(same(preview(ctx), reference_blend(plain, mask, 61)));
}

TEST(BgBlurPreview, NoBlurWithoutMaskOrAmount) {
    Context ctx;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW, kH, {60.0f, 45.0f}, 22.0f), "noblur.png"));
    const cv::Mat plain = preview(ctx);
    ASSERT_FALSE(plain.empty());
    vantorix_set_bg_blur(ctx, 80.0f);  // no segmentation yet
    EXPECT_TRUE(same(preview(ctx), plain));

    EngineContext* e = ctx;
    e->mask_ready = true;  // flag without a matrix
    EXPECT_TRUE(same(preview(ctx), plain));
    e->mask_ready = false;
    e->subject_mask = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(0));  // matrix without the flag
    EXPECT_TRUE(same(preview(ctx), plain));
    e->subject_mask.release();

    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    vantorix_set_bg_blur(ctx, 0.0f);
    EXPECT_TRUE(same(preview(ctx), plain));
    vantorix_set_bg_blur(ctx, -20.0f);
    EXPECT_TRUE(same(preview(ctx), plain));
}

TEST(BgBlurPreview, FullAndEmptyMasks) {
    Context ctx;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW, kH, {60.0f, 45.0f}, 22.0f), "full.png"));
    const cv::Mat plain = preview(ctx);
    ASSERT_FALSE(plain.empty());
    EngineContext* e = ctx;
    e->mask_ready = true;
    e->subject_mask = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(255));
    vantorix_set_bg_blur(ctx, 100.0f);
    EXPECT_TRUE(same(preview(ctx), plain));

    e->subject_mask = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(0));
    vantorix_set_bg_blur(ctx, 50.0f);
    cv::Mat soft;
    cv::GaussianBlur(plain, soft, cv::Size(31, 31), 0, 0, cv::BORDER_REFLECT_101);
    EXPECT_TRUE(same(preview(ctx), soft));
}

TEST(BgBlurPreview, MaskOfEarlierImageIsStretched) {
    Context ctx;
    load_and_segment(ctx, "first.png");
    const cv::Mat mask = segtest::read_mask(ctx, kW, kH);
    ASSERT_FALSE(mask.empty());
    // Another image of another size: the 120 x 90 mask is stretched to it.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(70, 100, {35.0f, 50.0f}, 20.0f, 3), "second.png"));
    const cv::Mat plain = preview(ctx);
    ASSERT_FALSE(plain.empty());
    vantorix_set_bg_blur(ctx, 10.0f);
    const cv::Mat got = preview(ctx);
    ASSERT_EQ(got.size(), cv::Size(70, 100));
    cv::Mat stretched;
    cv::resize(mask, stretched, cv::Size(70, 100), 0, 0, cv::INTER_LINEAR);
    EXPECT_TRUE(same(got, reference_blend(plain, stretched, 7)));
    // The stored mask itself keeps its size and values.
    const cv::Mat after = segtest::read_mask(ctx, kW, kH);
    ASSERT_FALSE(after.empty());
    EXPECT_TRUE(same(after, mask));
}

TEST(BgBlurPreview, OnlyThePreviewIsBlurred) {
    Context ctx;
    load_and_segment(ctx, "only.png");
    uint32_t r0[256], g0[256], b0[256], l0[256], r1[256], g1[256], b1[256], l1[256];
    const cv::Mat plain = preview(ctx);
    ASSERT_EQ(vantorix_get_histogram(ctx, r0, g0, b0, l0), 0);
    const std::string plain_png = testsupport::temp_path("only_plain.png");
    ASSERT_EQ(vantorix_export_png(ctx, plain_png.c_str(), 8), 0);

    vantorix_set_bg_blur(ctx, 60.0f);
    const cv::Mat blurred = preview(ctx);
    ASSERT_FALSE(same(blurred, plain));
    ASSERT_EQ(vantorix_get_histogram(ctx, r1, g1, b1, l1), 0);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(r0[i], r1[i]);
        ASSERT_EQ(l0[i], l1[i]);
    }
    const std::string blurred_png = testsupport::temp_path("only_blurred.png");
    ASSERT_EQ(vantorix_export_png(ctx, blurred_png.c_str(), 8), 0);
    EXPECT_TRUE(same(cv::imread(plain_png, cv::IMREAD_UNCHANGED), cv::imread(blurred_png, cv::IMREAD_UNCHANGED)));
}

TEST(BgBlurPreview, BufferSizeRules) {
    Context ctx;
    load_and_segment(ctx, "buf.png");
    vantorix_set_bg_blur(ctx, 20.0f);
    std::vector<uint8_t> buf(kW * kH * 4, 0x5A);
    EXPECT_EQ(vantorix_get_preview(ctx, buf.data(), kW * kH * 4 - 1), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "output buffer too small");
    for (uint8_t b : buf) ASSERT_EQ(b, 0x5A);
    EXPECT_EQ(vantorix_get_preview(ctx, buf.data(), kW * kH * 4), 0);
}

TEST(BgBlurCli, DevelopWritesBlurredPreview) {
    const cv::Mat img = segtest::disc_image(kW, kH, {50.0f, 40.0f}, 20.0f);
    const std::string in = testsupport::temp_path("cli_blur_in.png");
    const std::string out = testsupport::temp_path("cli_blur_out.png");
    ASSERT_TRUE(cv::imwrite(in, img));
    std::string err;
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + out + "' --bg-blur 40 --center 0.42,0.45 --brightness 20",
                                   nullptr, &err),
              0)
        << err;
    const cv::Mat written = cv::imread(out, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(written.type(), CV_8UC3);

    // The same steps through the interface give the same pixels (the mask is
    // reproducible).
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    vantorix_set_brightness(ctx, 20.0f);
    ASSERT_EQ(vantorix_segment_subject(ctx, 0.42f, 0.45f), 0);
    vantorix_set_bg_blur(ctx, 40.0f);
    const cv::Mat rgba = preview(ctx);
    ASSERT_FALSE(rgba.empty());
    cv::Mat expected;
    cv::cvtColor(rgba, expected, cv::COLOR_RGBA2BGR);
    EXPECT_TRUE(same(written, expected));

    // A picture too small to segment: the engine's message, status 1.
    const std::string tiny = testsupport::temp_path("cli_blur_tiny.png");
    ASSERT_TRUE(cv::imwrite(tiny, cv::Mat(2, 2, CV_8UC3, cv::Scalar(1, 2, 3))));
    EXPECT_EQ(testsupport::run_cli("develop '" + tiny + "' '" + out + "' --bg-blur 40", nullptr, &err), 1);
    EXPECT_NE(err.find("GrabCut failed"), std::string::npos) << err;
    EXPECT_EQ(testsupport::run_cli("develop '" + in + "' '" + out + "' --bg-blur x", nullptr, &err), 2);
}

TEST(BgBlurPreview, TinyImagesWithLargeKernel) {
    // Kernels far larger than the picture (61 on 1 x 1 and 2 x 3) are fine.
    Context ctx;
    load_and_segment(ctx, "tiny_first.png");
    vantorix_set_bg_blur(ctx, 100.0f);
    for (cv::Size s : {cv::Size(1, 1), cv::Size(2, 3), cv::Size(5, 1)}) {
        cv::Mat img(s, CV_8UC3);
        cv::RNG(4).fill(img, cv::RNG::UNIFORM, 0, 256);
        ASSERT_TRUE(segtest::load_png(ctx, img, "tiny_second.png"));
        EngineContext* e = ctx;
        const cv::Mat mask = e->subject_mask.clone();
        const bool ready = e->mask_ready;
        e->mask_ready = false;
        const cv::Mat plain = preview(ctx);
        e->mask_ready = ready;
        ASSERT_FALSE(plain.empty());
        const cv::Mat got = preview(ctx);
        ASSERT_EQ(got.size(), s);
        EXPECT_TRUE(same(got, reference_blend(plain, mask, 61))) << s;
    }
}
