#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "test_auto_helpers.h"

using autotest::grey;
using autotest::load_png;
using autotest::set_working;
using testsupport::Context;
using vantorix::CropCandidate;

namespace {

std::vector<CropCandidate> candidates(int w, int h, float aspect = 1.5f, float margin = 0.02f) {
    std::vector<CropCandidate> out;
    vantorix::for_each_crop_candidate(w, h, aspect, margin, [&](const CropCandidate& c) { out.push_back(c); });
    return out;
}

struct Crop {
    float x, y, w, h;
};

Crop auto_crop(EngineContext* ctx) {
    Crop c{-1, -1, -1, -1};
    EXPECT_EQ(vantorix_auto_crop(ctx, &c.x, &c.y, &c.w, &c.h), 0) << vantorix_last_error(ctx);
    return c;
}

// The crop in analysis pixels is 3:2 and keeps the margins on every side.
void expect_valid_crop(const Crop& c, int src_w, int src_h) {
    const int W = 512, H = vantorix::analysis_height(src_w, src_h, 512);
    const int mx = static_cast<int>(W * 0.02f), my = static_cast<int>(0.02f * H);
    const int x = static_cast<int>(std::lround(c.x * W)), y = static_cast<int>(std::lround(c.y * H));
    const int cw = static_cast<int>(std::lround(c.w * W)), ch = static_cast<int>(std::lround(c.h * H));
    SCOPED_TRACE(testing::Message() << "analysis " << W << "x" << H << " crop " << x << "," << y << " " << cw << "x"
                                    << ch);
    EXPECT_FLOAT_EQ(c.x, static_cast<float>(x) / W);
    EXPECT_FLOAT_EQ(c.y, static_cast<float>(y) / H);
    EXPECT_FLOAT_EQ(c.w, static_cast<float>(cw) / W);
    EXPECT_FLOAT_EQ(c.h, static_cast<float>(ch) / H);
    EXPECT_LT(std::fabs(cw - 1.5 * ch), 1.5);
    EXPECT_GE(x, mx);
    EXPECT_GE(y, my);
    EXPECT_LE(x + cw + mx, W);
    EXPECT_LE(y + ch + my, H);
    EXPECT_GT(cw, 0);
    EXPECT_GT(ch, 0);
}

// Sum over a rectangle, in double precision.
double box_sum(const cv::Mat& m, int x, int y, int w, int h) {
    double s = 0;
    for (int r = y; r < y + h; ++r)
        for (int c = x; c < x + w; ++c) s += m.at<float>(r, c);
    return s;
}

// The candidate score written out from its definition.
float reference_score(const cv::Mat& m, const CropCandidate& c) {
    const float mean = static_cast<float>(box_sum(m, c.x, c.y, c.w, c.h)) / static_cast<float>(c.w * c.h);
    const float tw = c.w / 3.0f, th = c.h / 3.0f;
    const float pxs[2] = {c.x + tw, c.x + (tw + tw)};
    const float pys[2] = {c.y + th, c.y + (th + th)};
    float thirds = 0;
    for (float py : pys)
        for (float px : pxs) {
            const int x0 = std::max(0, static_cast<int>(px - c.radius));
            const int y0 = std::max(0, static_cast<int>(py - c.radius));
            const int x1 = std::min(static_cast<int>(px + c.radius), m.cols - 1);
            const int y1 = std::min(static_cast<int>(py + c.radius), m.rows - 1);
            if (x1 > x0 && y1 > y0) thirds += static_cast<float>(box_sum(m, x0, y0, x1 - x0, y1 - y0));
        }
    return thirds / (c.w * c.h * 0.001f + 1.0f) * 0.05f + mean + c.scale * c.scale * 0.2f;
}

}  // namespace

TEST(AutoCrop, CandidatesOf6000x4000) {
    ASSERT_EQ(vantorix::analysis_height(6000, 4000, 512), 341);
    const std::vector<CropCandidate> all = candidates(512, 341);
    EXPECT_EQ(all.size(), 57u);
    std::map<int, std::vector<CropCandidate>> by_size;  // keyed by width
    for (const CropCandidate& c : all) by_size[c.w].push_back(c);
    ASSERT_EQ(by_size.size(), 4u);  // scale 1.0 does not fit between the margins
    const auto& s95 = by_size[484];
    ASSERT_EQ(s95.size(), 1u);
    EXPECT_EQ(s95[0].x, 10);
    EXPECT_EQ(s95[0].y, 6);
    EXPECT_EQ(s95[0].h, 323);
    EXPECT_NEAR(s95[0].scale, 0.95f, 1e-6f);
    EXPECT_EQ(s95[0].radius, 13);
    struct Size {
        int w, h, step;
        size_t count;
    } sizes[] = {{459, 306, 15, 6}, {433, 289, 14, 15}, {408, 272, 13, 35}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(s.w);
        const auto& list = by_size[s.w];
        ASSERT_EQ(list.size(), s.count);
        EXPECT_EQ(list[0].h, s.h);
        EXPECT_EQ(list[0].x, 10);
        EXPECT_EQ(list[0].y, 6);
        EXPECT_EQ(list[1].x - list[0].x, s.step);
    }
    // Search order: larger scale first, then rows, then columns; all inside the margins.
    for (size_t i = 0; i < all.size(); ++i) {
        const CropCandidate& c = all[i];
        EXPECT_LT(std::fabs(c.w - 1.5 * c.h), 1.5);
        EXPECT_GE(c.x, 10);
        EXPECT_GE(c.y, 6);
        EXPECT_LE(c.x + c.w + 10, 512);
        EXPECT_LE(c.y + c.h + 6, 341);
        if (i > 0) {
            const CropCandidate& p = all[i - 1];
            EXPECT_TRUE(c.scale < p.scale || (c.scale == p.scale && (c.y > p.y || (c.y == p.y && c.x > p.x))));
        }
    }
}

TEST(AutoCrop, CandidateScales) {
    // Portrait 4000 x 6000 (analysis 512 x 768): 530 candidates, all landscape.
    ASSERT_EQ(vantorix::analysis_height(4000, 6000, 512), 768);
    const std::vector<CropCandidate> portrait = candidates(512, 768);
    EXPECT_EQ(portrait.size(), 530u);
    for (const CropCandidate& c : portrait) {
        EXPECT_LE(c.w, 486);
        EXPECT_LE(c.h, 324);
        EXPECT_GT(c.w, c.h);
    }
    EXPECT_EQ(portrait.front().w, 486);
    EXPECT_EQ(portrait.front().h, 324);
    // Under 50 rows the vertical margin is 0 and every scale fits: 1.0, 0.95,
    // 0.90, 0.85 and 0.80 (held in single precision, 0.80 gives 31 rows of
    // 40); 0.75 is never tried.
    std::vector<std::pair<int, int>> sizes;
    for (const CropCandidate& c : candidates(512, 40))
        if (sizes.empty() || sizes.back() != std::make_pair(c.w, c.h)) sizes.emplace_back(c.w, c.h);
    const std::vector<std::pair<int, int>> expected = {{60, 40}, {57, 38}, {54, 36}, {51, 34}, {46, 31}};
    EXPECT_EQ(sizes, expected);
    // Nothing fits in a tiny frame with margins that leave no room.
    EXPECT_TRUE(candidates(0, 10).empty());
}

TEST(AutoCrop, ScoreAgainstDefinition) {
    cv::Mat m(341, 512, CV_32F);
    cv::RNG rng(99);
    rng.fill(m, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::GaussianBlur(m, m, cv::Size(0, 0), 4.0);
    const std::vector<CropCandidate> all = candidates(512, 341);
    for (size_t i = 0; i < all.size(); i += 7) {
        const float ref = reference_score(m, all[i]);
        EXPECT_NEAR(vantorix::crop_score(m, all[i]), ref, std::fabs(ref) * 2e-6f) << i;
    }
    // Thirds neighbourhoods clipped at the image border.
    const CropCandidate edge{0.8f, 0, 0, 30, 20, 40};
    EXPECT_NEAR(vantorix::crop_score(m, edge), reference_score(m, edge), 1e-4f);
}

TEST(AutoCrop, SearchKeepsEarliestOnTies) {
    float x, y, w, h;
    // A flat map: every candidate of a scale ties, the larger scale wins.
    cv::Mat flat = cv::Mat::zeros(341, 512, CV_32F);
    vantorix::best_crop_on_importance(flat, 1.5f, 0.02f, x, y, w, h);
    EXPECT_FLOAT_EQ(x, 10.0f / 512);
    EXPECT_FLOAT_EQ(y, 6.0f / 341);
    EXPECT_FLOAT_EQ(w, 484.0f / 512);
    EXPECT_FLOAT_EQ(h, 323.0f / 341);
    // A uniform map of ones: within a scale every candidate ties, the first
    // one is kept; across scales the thirds term favours a smaller crop.
    cv::Mat tall = cv::Mat::ones(768, 512, CV_32F);
    float best = -1e9f;
    CropCandidate expected{};
    for (const CropCandidate& c : candidates(512, 768)) {
        const float score = reference_score(tall, c);
        if (score > best) {
            best = score;
            expected = c;
        }
    }
    EXPECT_EQ(expected.x, 10);
    EXPECT_EQ(expected.y, 15);
    vantorix::best_crop_on_importance(tall, 1.5f, 0.02f, x, y, w, h);
    EXPECT_FLOAT_EQ(x, 10.0f / 512);
    EXPECT_FLOAT_EQ(y, 15.0f / 768);
    EXPECT_FLOAT_EQ(w, expected.w / 512.0f);
    EXPECT_FLOAT_EQ(h, expected.h / 768.0f);
    // Importance low in the frame: the crop moves down.
    cv::Mat low = cv::Mat::zeros(768, 512, CV_32F);
    low(cv::Rect(0, 600, 512, 168)).setTo(1.0f);
    vantorix::best_crop_on_importance(low, 1.5f, 0.02f, x, y, w, h);
    EXPECT_GT(y * 768 + h * 768, 700.0f);
    EXPECT_GT(y, 0.3f);
    // An aspect not above 0.01 means 3:2; an empty map gives the full frame.
    float x2, y2, w2, h2;
    vantorix::best_crop_on_importance(low, 0.0f, 0.02f, x2, y2, w2, h2);
    EXPECT_EQ(x2, x);
    EXPECT_EQ(y2, y);
    EXPECT_EQ(w2, w);
    EXPECT_EQ(h2, h);
    vantorix::best_crop_on_importance(cv::Mat(), 1.5f, 0.02f, x, y, w, h);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(w, 1.0f);
    EXPECT_EQ(h, 1.0f);
    vantorix::find_best_crop(cv::Mat(), 1.5f, 0.02f, x, y, w, h);
    EXPECT_EQ(w, 1.0f);
    EXPECT_EQ(h, 1.0f);
}

TEST(AutoCrop, Maps) {
    // Edge map: zero for a flat plane, 1 at the strongest step.
    cv::Mat flat(40, 60, CV_32F, cv::Scalar(0.3));
    cv::Mat e = vantorix::edge_map(flat);
    EXPECT_EQ(cv::countNonZero(e), 0);
    cv::Mat step = flat.clone();
    step(cv::Rect(30, 0, 30, 40)).setTo(0.9);
    e = vantorix::edge_map(step);
    double lo, hi;
    cv::minMaxLoc(e, &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_FLOAT_EQ(static_cast<float>(hi), 1.0f);
    EXPECT_FLOAT_EQ(e.at<float>(20, 29), 1.0f);
    EXPECT_FLOAT_EQ(e.at<float>(20, 30), 1.0f);
    EXPECT_EQ(e.at<float>(20, 10), 0.0f);

    // Saliency: 64 x 64 in 0..1, highest near a small odd patch.
    cv::Mat plane(300, 400, CV_32F);
    cv::RNG rng(5);
    rng.fill(plane, cv::RNG::UNIFORM, 0.4, 0.45);
    plane(cv::Rect(280, 60, 30, 30)).setTo(1.0);
    const cv::Mat s = vantorix::spectral_residual_saliency(plane);
    ASSERT_EQ(s.rows, 64);
    ASSERT_EQ(s.cols, 64);
    ASSERT_EQ(s.type(), CV_32F);
    cv::Point peak;
    cv::minMaxLoc(s, &lo, &hi, nullptr, &peak);
    EXPECT_NEAR(lo, 0.0, 1e-6);
    EXPECT_NEAR(hi, 1.0, 1e-6);
    EXPECT_NEAR(peak.x, 295 * 64 / 400, 6);
    EXPECT_NEAR(peak.y, 75 * 64 / 300, 6);
}

TEST(AutoCrop, ProposalsAreValidCrops) {
    Context ctx;
    cv::RNG rng(3);
    cv::Mat noise(300, 450, CV_8UC3);
    rng.fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    cv::Mat gradient(400, 600, CV_8UC3);
    for (int y = 0; y < gradient.rows; ++y)
        for (int x = 0; x < gradient.cols; ++x) gradient.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 255 / 600, y * 255 / 400, 90);
    const cv::Mat images[] = {noise, gradient, grey(600, 400, 128), grey(400, 600, 30), grey(3000, 2, 200),
                              grey(2, 900, 200), grey(1, 1, 5)};
    for (const cv::Mat& img : images) {
        SCOPED_TRACE(testing::Message() << img.cols << "x" << img.rows);
        set_working(ctx, img);
        expect_valid_crop(auto_crop(ctx), img.cols, img.rows);
    }
}

TEST(AutoCrop, FollowsTheSubject) {
    Context ctx;
    // A bright, detailed subject in the lower right of a plain frame.
    cv::Mat img = grey(900, 600, 60);
    cv::RNG rng(11);
    cv::Mat patch(150, 180, CV_8UC3);
    rng.fill(patch, cv::RNG::UNIFORM, cv::Scalar::all(150), cv::Scalar::all(256));
    patch.copyTo(img(cv::Rect(690, 420, 180, 150)));
    ASSERT_TRUE(load_png(ctx, img, "crop_subject"));
    const Crop c = auto_crop(ctx);
    expect_valid_crop(c, 900, 600);
    EXPECT_GT(c.x, 0.02f);  // moved off the left margin toward the subject
    EXPECT_GT(c.y, 0.02f);
    EXPECT_GE(c.x + c.w, 870.0f / 900.0f);
    // Portrait input: still a landscape 3:2 crop.
    ASSERT_TRUE(load_png(ctx, img.t(), "crop_portrait"));
    const Crop p = auto_crop(ctx);
    expect_valid_crop(p, 600, 900);
    EXPECT_LE(p.w * 512, 486.5f);
    EXPECT_LE(p.h * 768, 324.5f);
    EXPECT_GT(p.w * 512, p.h * 768);
}

TEST(AutoCrop, ReadsLoadedImageNotSettings) {
    Context ctx;
    cv::Mat img = grey(600, 400, 60);
    cv::circle(img, cv::Point(450, 300), 60, cv::Scalar(250, 250, 250), cv::FILLED);
    ASSERT_TRUE(load_png(ctx, img, "crop_settings"));
    const Crop before = auto_crop(ctx);
    vantorix_set_crop(ctx, 0.5f, 0.5f, 0.5f, 0.5f);
    vantorix_set_flip_h(ctx, 1);
    ASSERT_EQ(vantorix_process(ctx), 0);
    const Crop after = auto_crop(ctx);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.w, before.w);
    EXPECT_EQ(after.h, before.h);
    EXPECT_EQ(ctx.ctx->adjustments.crop.x, 0.5f);
}

TEST(AutoCrop, Failures) {
    float x = 1, y = 2, w = 3, h = 4;
    EXPECT_EQ(vantorix_auto_crop(nullptr, &x, &y, &w, &h), -1);
    Context ctx;
    EXPECT_EQ(vantorix_auto_crop(ctx, nullptr, &y, &w, &h), -1);
    EXPECT_EQ(vantorix_auto_crop(ctx, &x, nullptr, &w, &h), -1);
    EXPECT_EQ(vantorix_auto_crop(ctx, &x, &y, nullptr, &h), -1);
    EXPECT_EQ(vantorix_auto_crop(ctx, &x, &y, &w, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_EQ(vantorix_auto_crop(ctx, &x, &y, &w, &h), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 2.0f);
    EXPECT_EQ(w, 3.0f);
    EXPECT_EQ(h, 4.0f);
}
