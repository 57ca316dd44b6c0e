// The development stages: one table of invariants over every setting, one
// table of single pixels worked out by hand, and the cases that need a whole
// image (neighbourhoods, geometry, random grain).

#include "engine/context.h"
#include "pipeline/geometry_crop.h"
#include "pipeline/pipeline.h"
#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"
#include "support/test_support.h"

using testsupport::identical;
using testsupport::random_image;
using vantorix::Adjustments;
using testsupport::Context;
using namespace vantorix;

namespace {

using Stage = void (*)(cv::Mat&, const Adjustments&);
const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
const float kNone = -12345.0f;  // the stage has no neutral value for this setting alone
enum Flags { kMoves = 1, kUnclamped = 2 };  // resamples alpha with the picture; documented to leave 0..1

// Settings from the neutral state (white balance at its neutral 6500 K).
template <typename F>
Adjustments with(F set) { Adjustments a; a.temperature = 6500.0f; set(a); return a; }

template <typename F>
cv::Mat run(Stage stage, F set, cv::Mat img) { stage(img, with(set)); return img; }

struct Setting {
    const char* name;
    Stage stage;
    void (*set)(Adjustments&, float);
    float neutral;
    int flags = 0;
};

#define SET(field) [](Adjustments& a, float v) { a.field = v; }
const Setting kSettings[] = {
    {"temperature", apply_white_balance, SET(temperature), 6500},
    {"tint", apply_white_balance, SET(tint), 0},
    {"exposure", apply_exposure, SET(exposure), 0},
    {"brightness", apply_brightness, SET(brightness), 0},
    {"highlights", apply_highlights_shadows, SET(highlights), 0},
    {"shadows", apply_highlights_shadows, SET(shadows), 0},
    {"whites", apply_whites_blacks, SET(whites), 0},
    {"blacks", apply_whites_blacks, SET(blacks), 0},
    {"contrast", apply_contrast, SET(contrast), 0},
    {"curve", apply_tone_curves, [](Adjustments& a, float v) { a.tone_curves[2] = {{0, 0}, {1, v}}; }, kNone},
    {"clarity", apply_clarity_texture, SET(clarity), 0},
    {"texture", apply_clarity_texture, SET(texture), 0},
    {"dehaze", apply_dehaze, SET(dehaze), 0},
    {"saturation", apply_saturation_vibrance, SET(saturation), 0},
    {"vibrance", apply_saturation_vibrance, SET(vibrance), 0},
    {"hsl hue", apply_hsl, SET(hsl[0].hue), 0},
    {"hsl saturation", apply_hsl, SET(hsl[3].saturation), 0},
    {"hsl luminance", apply_hsl, SET(hsl[5].luminance), 0},
    {"split highlights", apply_split_toning, [](Adjustments& a, float v) { a.split_highlight_hue = 40, a.split_highlight_saturation = v; }, 0},
    {"split shadows", apply_split_toning, [](Adjustments& a, float v) { a.split_shadow_hue = 220, a.split_shadow_saturation = v; }, 0},
    {"split balance", apply_split_toning, [](Adjustments& a, float v) { a.split_highlight_saturation = 50, a.split_balance = v; }, kNone},
    {"nr luminance", apply_noise_reduction, SET(nr_luminance), 0, kUnclamped},
    {"nr color", apply_noise_reduction, SET(nr_color), 0},
    {"sharpen amount", apply_sharpening, SET(sharpen_amount), 0},
    {"sharpen radius", apply_sharpening, [](Adjustments& a, float v) { a.sharpen_amount = 100, a.sharpen_radius = v; }, 0},
    {"sharpen threshold", apply_sharpening, [](Adjustments& a, float v) { a.sharpen_amount = 100, a.sharpen_threshold = v; }, kNone},
    {"distortion", apply_lens_corrections, SET(distortion), 0, kMoves},
    {"ca correction", apply_lens_corrections, SET(ca_correction), 0},
    {"lens vignette", apply_lens_corrections, SET(lens_vignette), 0},
    {"defringe", apply_lens_corrections, SET(defringe), 0},
    {"rotation", apply_geometry, SET(rotation), 0, kMoves},
    {"perspective h", apply_geometry, SET(perspective_h), 0, kMoves},
    {"perspective v", apply_geometry, SET(perspective_v), 0, kMoves},
    {"crop", apply_geometry, [](Adjustments& a, float v) { a.crop = {0.1f, 0.2f, v, v}; }, 0, kMoves},
    {"vignette amount", apply_vignette, SET(vignette_amount), 0},
    {"vignette midpoint", apply_vignette, [](Adjustments& a, float v) { a.vignette_amount = 60, a.vignette_midpoint = v; }, kNone},
    {"vignette roundness", apply_vignette, [](Adjustments& a, float v) { a.vignette_amount = -60, a.vignette_roundness = v; }, kNone},
    {"grain amount", apply_grain, SET(grain_amount), 0},
    {"grain size", apply_grain, [](Adjustments& a, float v) { a.grain_amount = 50, a.grain_size = v; }, kNone},
};
#undef SET

}  // namespace

// Neutral or NaN settings leave every bit; hostile values give finite colours
// in 0..1; alpha is left alone except where the picture is resampled; only a
// crop changes the size.
TEST(Stages, InvariantsOfEverySetting) {
    const cv::Mat src = random_image(32, 24, 9);
    cv::Mat alpha;
    cv::extractChannel(src, alpha, 3);
    for (const Setting& s : kSettings) {
        SCOPED_TRACE(s.name);
        auto apply = [&](float v) { return run(s.stage, [&](Adjustments& a) { s.set(a, v); }, src.clone()); };
        if (s.neutral != kNone) {
            EXPECT_TRUE(identical(apply(s.neutral), src)) << "neutral";
            EXPECT_TRUE(identical(apply(kNaN), src)) << "NaN";
        }
        for (float v : {kInf, -kInf, 1e30f, -1e30f, 250.0f, -250.0f, 0.5f, 60.0f}) {
            std::vector<cv::Mat> planes;
            cv::split(apply(v), planes);
            for (int c = 0; c < 3 && !((s.flags & kUnclamped) && std::isinf(v)); ++c) {
                cv::Mat bad = (planes[c] != planes[c]) | (cv::abs(planes[c]) == kInf);
                if (!(s.flags & kUnclamped)) bad |= (planes[c] < 0.0f) | (planes[c] > 1.0f);
                EXPECT_EQ(cv::countNonZero(bad), 0) << "setting " << v << ", channel " << c;
            }
            if (!(s.flags & kMoves)) { EXPECT_TRUE(identical(planes[3], alpha)) << "alpha changed at " << v; }
            if (planes[3].size() != src.size()) { EXPECT_TRUE(std::string(s.name) == "crop" && std::isfinite(v)) << v; }
        }
    }
}

TEST(Stages, PixelsWorkedOutByHand) {
    using V = cv::Vec4f;
    const struct {
        const char* what;
        Stage stage;
        void (*set)(Adjustments&);
        V in, want;
        float tol;
    } rows[] = {
        {"brightness +100: power 1 / 1.5", apply_brightness, [](Adjustments& a) { a.brightness = 100; }, {.5f, .5f, .5f, .5f}, {.629961f, .629961f, .629961f, .5f}, 1e-6f},
        {"brightness -100 squares", apply_brightness, [](Adjustments& a) { a.brightness = -100; }, {.5f, .2f, 1, .5f}, {.25f, .04f, 1, .5f}, 1e-7f},
        {"brightness 0.125", apply_brightness, [](Adjustments& a) { a.brightness = 0.125f; }, {.5f, 0, 1, 1}, {.500217f, 0, 1, 1}, 1e-6f},
        {"contrast 1", apply_contrast, [](Adjustments& a) { a.contrast = 1; }, {1, 0, .5f, .5f}, {.919443f, .080557f, .5f, .5f}, 1e-5f},
        {"white balance 5500 K", apply_white_balance, [](Adjustments& a) { a.temperature = 5500; }, {.5f, .5f, .5f, .5f}, {.5f, .4673f, .4444f, .5f}, 1e-4f},
        {"white balance 1900 K: no blue", apply_white_balance, [](Adjustments& a) { a.temperature = 1900; }, {.8f, .8f, .8f, 1}, {.8f, .41483f, 0, 1}, 1e-3f},
        {"tint +150: green x 1.15", apply_white_balance, [](Adjustments& a) { a.tint = 150; }, {.5f, .5f, .5f, .5f}, {.5f, .575f, .5f, .5f}, 1e-6f},
        {"exposure +1 doubles and clips", apply_exposure, [](Adjustments& a) { a.exposure = 1; }, {.2f, .4f, .6f, .3f}, {.4f, .8f, 1, .3f}, 0},
        {"exposure -1 halves", apply_exposure, [](Adjustments& a) { a.exposure = -1; }, {.2f, .4f, .6f, .3f}, {.1f, .2f, .3f, .3f}, 0},
        {"highlights -100 on white", apply_highlights_shadows, [](Adjustments& a) { a.highlights = -100; }, {1, 1, 1, 1}, {.6f, .6f, .6f, 1}, 0},
        {"shadows +100: power 1 / 1.1875", apply_highlights_shadows, [](Adjustments& a) { a.shadows = 100; }, {.25f, .25f, .25f, 1}, {.311173f, .311173f, .311173f, 1}, 1e-6f},
        {"whites +100: white point 1.2", apply_whites_blacks, [](Adjustments& a) { a.whites = 100; }, {.6f, .6f, .6f, 1}, {.5f, .5f, .5f, 1}, 1e-6f},
        {"blacks +100: black point 0.1", apply_whites_blacks, [](Adjustments& a) { a.blacks = 100; }, {.55f, .05f, 1, 1}, {.5f, 0, 1, 1}, 1e-6f},
        {"blacks -100: black point -0.1", apply_whites_blacks, [](Adjustments& a) { a.blacks = -100; }, {0, 0, 0, 1}, {.090909f, .090909f, .090909f, 1}, 1e-6f},
        {"master then own curve", apply_tone_curves, [](Adjustments& a) { a.tone_curves[0] = {{0, 0}, {.5f, .25f}, {1, 1}}, a.tone_curves[1] = {{0, 0}, {.25f, .9f}, {1, 1}}; }, {.5f, .5f, 0, .7f}, {.9f, .25f, 0, .7f}, 1e-3f},
        {"hsl red +30 degrees: orange", apply_hsl, [](Adjustments& a) { a.hsl[0].hue = 30; }, {1, 0, 0, .7f}, {1, .5f, 0, .7f}, 1e-5f},
        {"saturation -100: grey at luminance", apply_saturation_vibrance, [](Adjustments& a) { a.saturation = -100; }, {.8f, .4f, .2f, 1}, {.4706f, .4706f, .4706f, 1}, 1e-6f},
        {"vibrance lifts weak colour", apply_saturation_vibrance, [](Adjustments& a) { a.vibrance = 100; }, {.6f, .5f, .5f, 1}, {.6441f, .4881f, .4881f, 1}, 1e-4f},
        {"vibrance leaves grey", apply_saturation_vibrance, [](Adjustments& a) { a.vibrance = 100; }, {.4f, .4f, .4f, 1}, {.4f, .4f, .4f, 1}, 1e-6f},
        {"vibrance leaves strong colour", apply_saturation_vibrance, [](Adjustments& a) { a.vibrance = 100; }, {.8f, .4f, .3f, 1}, {.8f, .4f, .3f, 1}, 1e-6f},
        {"split shadows: black stays", apply_split_toning, [](Adjustments& a) { a.split_shadow_hue = 240, a.split_shadow_saturation = 100; }, {0, 0, 0, 1}, {0, 0, 0, 1}, 0},
        {"split shadows on grey 0.2", apply_split_toning, [](Adjustments& a) { a.split_shadow_hue = 240, a.split_shadow_saturation = 100; }, {.2f, .2f, .2f, .9f}, {.2211f, .2480f, .1520f, .9f}, 1e-4f},
        {"defringe halves purple", apply_lens_corrections, [](Adjustments& a) { a.defringe = 100; }, {.75f, 0, 1, .5f}, {.625f, .25f, .75f, .5f}, 1e-6f},
        {"defringe halves green", apply_lens_corrections, [](Adjustments& a) { a.defringe = 100; }, {.1f, .9f, .3f, 1}, {.3f, .7f, .4f, 1}, 1e-6f},
        {"defringe leaves azure", apply_lens_corrections, [](Adjustments& a) { a.defringe = 100; }, {0, .5f, 1, 1}, {0, .5f, 1, 1}, 0},
        {"defringe leaves magenta-red", apply_lens_corrections, [](Adjustments& a) { a.defringe = 100; }, {1, 0, .6f, 1}, {1, 0, .6f, 1}, 0},
    };
    for (const auto& r : rows) {
        cv::Mat m(1, 1, CV_32FC4, r.in);
        r.stage(m, with(r.set));
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.at<V>(0, 0)[c], r.want[c], r.tol) << r.what << ", channel " << c;
    }
    // A grey whose luminance is exactly 0.5 receives neither highlights nor shadows.
    float v = 0.5f;
    while ((0.7152f * v + 0.2126f * v) + 0.0722f * v != 0.5f) v = std::nextafter(v, 0.0f);
    cv::Mat grey(1, 1, CV_32FC4, cv::Scalar(v, v, v, 1));
    EXPECT_TRUE(identical(run(apply_highlights_shadows, [](Adjustments& a) { a.highlights = 100, a.shadows = -100; }, grey.clone()), grey));
}

// A row stepping from grey 0.3 to 0.7 at x = 200: beside the step the detail
// is 0.4 x (1 - w0) / 2, w0 the centre weight of a Gaussian of sigma 20
// (clarity, added 0.3 times) or 3 (texture, 0.2 times).
TEST(Stages, ClarityAndTextureOnAStepEdge) {
    cv::Mat step(1, 400, CV_32FC4, cv::Scalar(0.3, 0.3, 0.3, 1));
    step.colRange(200, 400).setTo(cv::Scalar(0.7, 0.7, 0.7, 1));
    const double w20 = 1 / (std::sqrt(2 * CV_PI) * 20), w3 = 1 / (std::sqrt(2 * CV_PI) * 3);
    const cv::Mat c = run(apply_clarity_texture, [](Adjustments& a) { a.clarity = 100; }, step.clone());
    EXPECT_NEAR(c.at<cv::Vec4f>(0, 199)[1], 0.3 - 0.3 * 0.4 * (1 - w20) / 2, 1e-4);
    EXPECT_NEAR(c.at<cv::Vec4f>(0, 200)[1], 0.7 + 0.3 * 0.4 * (1 - w20) / 2, 1e-4);
    const cv::Mat t = run(apply_clarity_texture, [](Adjustments& a) { a.texture = 100; }, step.clone());
    EXPECT_NEAR(t.at<cv::Vec4f>(0, 199)[0], 0.3 - 0.2 * 0.4 * (1 - w3) / 2, 1e-4);
    EXPECT_EQ(t.at<cv::Vec4f>(0, 20), step.at<cv::Vec4f>(0, 20));  // beyond the kernel's reach
}

// Haze I = J t + A (1 - t) over a scene whose dark channel is 0, below sky rows at A.
TEST(Stages, DehazeRecoversASceneWithKnownAirlight) {
    const int cols = 64, rows = 40, sky = 6;
    cv::Mat clear(rows, cols, CV_32FC4, cv::Scalar::all(1));
    cv::RNG rng(12);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < 3; ++c) clear.at<cv::Vec4f>(y, x)[c] = c == (x + y) % 3 ? 0.0f : rng.uniform(0.2f, 0.9f);
    cv::Mat hazy = clear * 0.7 + cv::Scalar(0.255, 0.255, 0.255, 0.3);
    hazy.rowRange(0, sky).setTo(cv::Scalar(0.85, 0.85, 0.85, 1));
    const cv::Mat out = run(apply_dehaze, [](Adjustments& a) { a.dehaze = 100; }, hazy.clone());
    const cv::Rect far(0, sky + 12, cols, rows - sky - 12);  // transmission 1 - 0.95 x 0.3 there
    EXPECT_GT(cv::norm(hazy(far), clear(far), cv::NORM_INF), 0.15);
    EXPECT_LT(cv::norm(out(far), clear(far), cv::NORM_INF), 0.03);
    EXPECT_FALSE(identical(run(apply_dehaze, [](Adjustments& a) { a.dehaze = 0.1f; }, hazy.clone()), hazy));  // any positive setting acts
}

TEST(Stages, NoiseReductionOnAStepEdge) {
    cv::Mat src(9, 30, CV_32FC4, cv::Scalar(0.3, 0.2, 0.1, 1));
    src.colRange(15, 30).setTo(cv::Scalar(0.9, 0.8, 0.6, 1));
    const cv::Mat out = run(apply_noise_reduction, [](Adjustments& a) { a.nr_luminance = 100; }, src.clone());
    for (int x = 0; x < 30; ++x) {
        const cv::Vec4f in = src.at<cv::Vec4f>(4, x), got = out.at<cv::Vec4f>(4, x);
        EXPECT_NEAR(got[0] / got[1], in[0] / in[1], 1e-5) << x;  // colour proportions kept
        if (x < 9 || x >= 21) { EXPECT_NEAR(got[1], in[1], 1e-6) << x; }  // beyond the 13-pixel kernel
    }
    EXPECT_TRUE(out.at<cv::Vec4f>(4, 14)[1] > 0.25f && out.at<cv::Vec4f>(4, 15)[1] < 0.75f);  // the dark side pulled up, the bright down
}

// Detail is the pixel minus its Gaussian blur (sigma = radius); it is added
// (amount / 150 times) only where its size exceeds threshold / 65535.
TEST(Stages, SharpeningThresholdIsStrict) {
    const cv::Mat src = random_image(16, 16, 45, 0.2, 0.8);
    cv::Mat red, blurred;
    cv::extractChannel(src, red, 0);
    cv::GaussianBlur(red, blurred, cv::Size(0, 0), 1.0, 0);
    const float d = red.at<float>(8, 8) - blurred.at<float>(8, 8);
    float thr = std::fabs(d) * 65535.0f;  // the threshold whose quotient is exactly |d|
    while (thr / 65535.0f != std::fabs(d)) thr = std::nextafter(thr, thr / 65535.0f < std::fabs(d) ? kInf : 0.0f);
    auto sharpened = [&](float t) { return run(apply_sharpening, [&](Adjustments& a) { a.sharpen_amount = 150, a.sharpen_threshold = t; }, src.clone()).at<cv::Vec4f>(8, 8)[0]; };
    EXPECT_EQ(sharpened(thr), red.at<float>(8, 8));
    EXPECT_NEAR(sharpened(std::nextafter(thr, 0.0f) * 0.999999f), red.at<float>(8, 8) + d, 1e-6f);
}

TEST(Stages, LensVignetteAndChromaticAberration) {
    // Gain 1 at the centre, 1.5 at the corner (the full half-diagonal).
    const cv::Mat v = run(apply_lens_corrections, [](Adjustments& a) { a.lens_vignette = 100; }, cv::Mat(24, 40, CV_32FC4, cv::Scalar(0.4, 0.2, 0.8, 0.3)));
    EXPECT_TRUE(v.at<cv::Vec4f>(12, 20) == cv::Vec4f(0.4f, 0.2f, 0.8f, 0.3f) && cv::norm(v.at<cv::Vec4f>(0, 0) - cv::Vec4f(0.6f, 0.3f, 1, 0.3f)) < 1e-6);
    // Red scaled up by 1.003 about the left edge, blue down (the uncovered column 0), green kept.
    cv::Mat ramp(10, 300, CV_32FC4);
    for (int x = 0; x < 300; ++x) ramp.col(x).setTo(cv::Scalar(x / 512.0, 0.5, x / 512.0, 1));
    const cv::Mat ca = run(apply_lens_corrections, [](Adjustments& a) { a.ca_correction = 100; }, ramp);
    EXPECT_NEAR(ca.at<cv::Vec4f>(5, 200)[0], (200.5 / 1.003 - 0.5) / 512, 1e-5);
    EXPECT_NEAR(ca.at<cv::Vec4f>(5, 200)[2], (200.5 / 0.997 - 0.5) / 512, 1e-5);
    EXPECT_TRUE(ca.at<cv::Vec4f>(5, 299)[2] == 0 && ca.at<cv::Vec4f>(5, 200)[1] == 0.5f);
}

TEST(Stages, BandedSharpeningEqualsOneWholePass) {
    // Odd widths, heights around the band size, radii up to and past the widest band halo.
    struct Case {
        cv::Size size;
        float radius, threshold;
    } cases[] = {{{37, 150}, 1.0f, 0.0f}, {{203, 65}, 2.5f, 300.0f}, {{61, 300}, 7.9f, 0.0f},
                 {{45, 200}, 8.0f, 0.0f}, {{33, 131}, 16.0f, 0.0f}, {{40, 140}, 16.2f, 0.0f}, {{64, 64}, 1.0f, 0.0f}};
    for (const Case& c : cases) {
        const cv::Mat src = random_image(c.size.width, c.size.height, 23);
        auto settings = [&](Adjustments& a) { a.sharpen_amount = 120, a.sharpen_radius = c.radius, a.sharpen_threshold = c.threshold; };
        EXPECT_TRUE(identical(run(apply_sharpening, settings, src.clone()), run(apply_sharpening_whole, settings, src.clone())))
            << c.size << " radius " << c.radius;
    }
}

TEST(Stages, GeometryAndTheCropRule) {
    const cv::Mat src = random_image(64, 32, 4);
    cv::Mat mirrored, turned;
    cv::flip(src, mirrored, 1);
    cv::rotate(src, turned, cv::ROTATE_180);
    EXPECT_TRUE(identical(run(apply_geometry, [](Adjustments& a) { a.flip_h = 1; }, src.clone()), mirrored));
    EXPECT_TRUE(identical(run(apply_geometry, [](Adjustments& a) { a.flip_h = 7, a.flip_v = -3; }, src.clone()), turned));
    // +90 degrees turns counter-clockwise about (32, 16) in the same frame:
    // output (x, y) shows input (48 - y, x - 16).
    const cv::Mat r = run(apply_geometry, [](Adjustments& a) { a.rotation = 90; }, src.clone());
    EXPECT_TRUE(r.at<cv::Vec4f>(16, 16) == src.at<cv::Vec4f>(0, 32) && r.at<cv::Vec4f>(10, 30) == src.at<cv::Vec4f>(14, 38));
    // Horizontal perspective +100 narrows the top by 15 % a side: on a ramp of x / 59
    // the top row shows the left edge 9 pixels in.
    cv::Mat ramp(40, 60, CV_32FC4);
    for (int x = 0; x < 60; ++x) ramp.col(x).setTo(cv::Scalar::all(x / 59.0));
    const cv::Mat p = run(apply_geometry, [](Adjustments& a) { a.perspective_h = 100; }, ramp);
    EXPECT_TRUE(std::fabs(p.at<cv::Vec4f>(0, 9)[0]) < 0.02f && std::fabs(p.at<cv::Vec4f>(0, 30)[0] - 0.5f) < 0.02f);
    // The crop copies its rectangle after the flip.
    const cv::Mat c = run(apply_geometry, [](Adjustments& a) { a.flip_h = 1, a.crop = {0.25f, 0.25f, 0.5f, 0.5f}; }, src.clone());
    EXPECT_TRUE(identical(c, mirrored(cv::Rect(16, 8, 32, 16))));
    const struct {
        int w, h;
        CropRect crop;
        cv::Rect want;  // empty: no crop
    } cases[] = {
        {4000, 3000, {0.001f, 0, 1, 1}, {4, 0, 3996, 3000}}, {4000, 3000, {0, 0, 0.995f, 1}, {}},  // 0.99 and more: whole
        {4000, 3000, {0, 0, 0.98f, 1}, {0, 0, 3920, 3000}},  {400, 300, {-0.5f, 0, 1, 1}, {0, 0, 400, 300}},
        {400, 300, {0.75f, 0.5f, 1, 1}, {300, 150, 100, 150}}, {110, 110, {0, 0, 0.1f, 0.1f}, {0, 0, 11, 11}},
        {100, 110, {0, 0, 0.1f, 0.5f}, {}},                   {400, 300, {1.5f, 0, 0.5f, 0.5f}, {}},
        {400, 300, {0, 0, kNaN, 0.5f}, {}},                   {400, 300, {0, 0, 0.5f, 0}, {}},
    };
    for (const auto& k : cases) {
        cv::Rect got;
        EXPECT_EQ(crop_rectangle(k.w, k.h, k.crop, got) ? got : cv::Rect(), k.want) << k.crop.x << " " << k.crop.w;
    }
}

// The centre and the inner ellipse of the midpoint stay; the corner gets the full strength.
TEST(Stages, VignetteCentreAndCorners) {
    const cv::Mat src = random_image(64, 40, 3, 0.2, 1.0);
    const cv::Vec4f c = src.at<cv::Vec4f>(0, 0);
    for (float amount : {100.0f, 50.0f, -50.0f, -100.0f, -300.0f}) {
        const cv::Mat out = run(apply_vignette, [amount](Adjustments& a) { a.vignette_amount = amount; }, src.clone());
        EXPECT_TRUE(out.at<cv::Vec4f>(20, 32) == src.at<cv::Vec4f>(20, 32) && out.at<cv::Vec4f>(20, 40) == src.at<cv::Vec4f>(20, 40));
        const cv::Vec4f want = amount > 0 ? c + (cv::Vec4f(1, 1, 1, c[3]) - c) * (amount / 100) : c * std::max(1 + amount / 100, 0.0f);
        EXPECT_LT(cv::norm(out.at<cv::Vec4f>(0, 0) - cv::Vec4f(want[0], want[1], want[2], c[3])), 2e-6) << amount;
    }
}

TEST(Stages, GrainStatistics) {
    const cv::Mat grey(256, 256, CV_32FC4, cv::Scalar(0.5, 0.5, 0.5, 0.75));
    for (float size : {1.0f, 100.0f}) {
        std::vector<cv::Mat> p;
        cv::split(run(apply_grain, [size](Adjustments& a) { a.grain_amount = 100, a.grain_size = size; }, grey.clone()), p);
        cv::Scalar mean, sd;
        cv::meanStdDev(p[0], mean, sd);
        EXPECT_NEAR(sd[0], 0.05, 0.0015) << size;  // strength 100: deviation 0.05
        EXPECT_TRUE(identical(p[0], p[1]) && identical(p[0], p[2]));  // the same noise on every channel
        cv::Mat a = p[0].colRange(0, 255) - 0.5, b = p[0].colRange(1, 256) - 0.5;  // fine grain: independent neighbours
        EXPECT_TRUE(size == 1 ? std::fabs(a.dot(b) / a.dot(a)) < 0.05 : a.dot(b) / a.dot(a) > 0.8);
    }
}

// The fused pass equals randn, blur, rescale, then add and clamp per channel,
// from the same generator state.
TEST(Stages, FusedGrainEqualsThePlaneOperations) {
    const cv::Mat src = random_image(67, 45, 6, -0.05, 1.05);
    for (auto [amount, size] : {std::pair<float, float>{300, 25}, {150, 1}, {60, 400}}) {
        cv::theRNG().state = 0x5eed1234ULL;
        const cv::Mat img = run(apply_grain, [&](Adjustments& a) { a.grain_amount = amount, a.grain_size = size; }, src.clone());
        cv::theRNG().state = 0x5eed1234ULL;
        const float sigma = amount / 100 * 0.05f, g = size / 100;
        cv::Mat field(src.size(), CV_32FC1), expected;
        cv::randn(field, 0.0, static_cast<double>(sigma));
        if (g > 0.01f) {
            cv::GaussianBlur(field, field, cv::Size(), std::min(2 * g + 0.5f, 67.0f), 0, cv::BORDER_REFLECT_101);
            cv::Scalar m, sd;
            cv::meanStdDev(field, m, sd);
            field = field * (static_cast<double>(sigma) / sd[0]);
        }
        std::vector<cv::Mat> planes;
        cv::split(src, planes);
        for (int c = 0; c < 3; ++c) {
            planes[c] = planes[c] + field;
            cv::threshold(planes[c], planes[c], 0, 0, cv::THRESH_TOZERO);
            cv::threshold(planes[c], planes[c], 1, 1, cv::THRESH_TRUNC);
        }
        cv::merge(planes, expected);
        EXPECT_TRUE(identical(img, expected)) << amount << " " << size;
    }
}

// Every 16-bit value once (256 x 256, R = G = B) through a neutral development
// after a contrasty one: runs never accumulate, and the float round trip and
// every idle stage keep each sample.
TEST(Driver, NeutralDevelopmentKeepsAll65536Values) {
    cv::Mat m(256, 256, CV_16UC3);
    for (int i = 0; i < 65536; ++i) m.at<cv::Vec<uint16_t, 3>>(i / 256, i % 256) = cv::Vec<uint16_t, 3>::all(uint16_t(i));
    const std::string p = testsupport::temp_path("ramp16.tif");
    testsupport::write_image(p, m);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500.0f);
    vantorix_set_contrast(ctx, 30.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    const cv::Mat first = ctx.ctx->pipeline.processed.mat.clone();
    ASSERT_EQ(vantorix_process(ctx), 0);  // each run starts again from the loaded image
    EXPECT_TRUE(testsupport::identical(first, ctx.ctx->pipeline.processed.mat));
    vantorix_set_contrast(ctx, 0.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_TRUE(testsupport::identical(ctx.ctx->pipeline.working.mat, ctx.ctx->pipeline.processed.mat));
}
