#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "test_auto_helpers.h"

using autotest::grey;
using autotest::load_png;
using autotest::set_working;
using testsupport::Context;

namespace {

// Angle of a segment from the formula: atan2(dy, dx) in degrees folded into
// [-90, 90] (double precision).
double folded_angle(const cv::Vec4i& s) {
    double a = std::atan2(static_cast<double>(s[3] - s[1]), static_cast<double>(s[2] - s[0])) * 180.0 / CV_PI;
    while (a > 90.0) a -= 180.0;
    while (a < -90.0) a += 180.0;
    return a;
}

// The length-weighted mean angle of the usable segments, written out.
double reference_proposal(const std::vector<cv::Vec4i>& segments) {
    double sum_len = 0, sum_ang = 0;
    for (const cv::Vec4i& s : segments) {
        const double len = std::hypot(s[2] - s[0], s[3] - s[1]);
        const double a = folded_angle(s);
        if (std::fabs(a) <= 30.0 && len > 20.0) {
            sum_len += len;
            sum_ang += a * len;
        }
    }
    return sum_len > 0 ? sum_ang / sum_len : 0.0;
}

// An 8-bit BGR picture with a bright sky above and dark ground below the
// line from (0, y_left) to (width, y_right).
cv::Mat horizon(int width, int height, int y_left, int y_right) {
    cv::Mat m(height, width, CV_8UC3, cv::Scalar(220, 200, 180));
    const std::vector<cv::Point> ground = {{0, y_left}, {width, y_right}, {width, height}, {0, height}};
    cv::fillPoly(m, std::vector<std::vector<cv::Point>>{ground}, cv::Scalar(40, 60, 50));
    return m;
}

float straighten(EngineContext* ctx) {
    float a = -999.0f;
    EXPECT_EQ(vantorix_auto_straighten(ctx, &a), 0) << vantorix_last_error(ctx);
    return a;
}

// Rotation used by a configure callback of develop_via_tiff.
float g_rotation = 0.0f;

// True when the development pipeline rotates pictures.
bool rotation_works() {
    const cv::Mat img = horizon(200, 120, 40, 80);
    const cv::Mat turned = testsupport::develop_via_tiff(img, [](EngineContext* c) { vantorix_set_rotation(c, 10.0f); });
    const cv::Mat plain = testsupport::develop_via_tiff(img, nullptr);
    return !turned.empty() && !plain.empty() && cv::norm(turned, plain, cv::NORM_INF) > 0;
}

}  // namespace

TEST(AutoStraighten, SegmentRules) {
    using vantorix::straighten_from_segments;
    EXPECT_EQ(straighten_from_segments({}), 0.0f);
    // Horizontal: exactly 0.
    EXPECT_EQ(straighten_from_segments({{0, 100, 400, 100}}), 0.0f);
    // Right end lower (y down): positive; right end higher: negative.
    const float down = straighten_from_segments({{0, 100, 800, 130}});
    EXPECT_NEAR(down, 2.1476, 1e-3);
    EXPECT_FLOAT_EQ(straighten_from_segments({{0, 130, 800, 100}}), -down);
    // Drawn right to left: the same as left to right.
    EXPECT_NEAR(straighten_from_segments({{800, 130, 0, 100}}), down, 1e-5);
    EXPECT_NEAR(straighten_from_segments({{800, 100, 0, 130}}), -down, 1e-5);
    EXPECT_EQ(straighten_from_segments({{400, 50, 0, 50}}), 0.0f);
    // Within 30 degrees (29.98) counts, 31 degrees does not; vertical never.
    EXPECT_NEAR(straighten_from_segments({{0, 0, 1733, 1000}}), 29.9864, 1e-3);
    EXPECT_NEAR(straighten_from_segments({{1733, 1000, 0, 0}}), 29.9864, 1e-3);
    EXPECT_NEAR(straighten_from_segments({{0, 1000, 1733, 0}}), -29.9864, 1e-3);
    EXPECT_EQ(straighten_from_segments({{0, 0, 1664, 1000}}), 0.0f);  // 31.0 degrees
    EXPECT_EQ(straighten_from_segments({{0, 1000, 1664, 0}}), 0.0f);
    EXPECT_EQ(straighten_from_segments({{10, 0, 10, 300}}), 0.0f);
    EXPECT_EQ(straighten_from_segments({{10, 300, 10, 0}}), 0.0f);
    // Length must exceed 20 pixels.
    EXPECT_EQ(straighten_from_segments({{0, 0, 20, 1}}), straighten_from_segments({{0, 0, 20, 1}, {0, 0, 20, 0}}));
    EXPECT_EQ(straighten_from_segments({{0, 0, 19, 6}}), 0.0f);  // length 19.9
    EXPECT_NEAR(straighten_from_segments({{0, 0, 21, 1}}), 2.7263, 1e-3);
    // Length-weighted mean of mixed segments against the formula.
    const std::vector<cv::Vec4i> mixed = {{0, 0, 100, 3},  {0, 50, 50, 47},    {200, 10, 0, 0},  {5, 5, 5, 200},
                                          {0, 0, 300, 200}, {0, 0, 600, -100}, {30, 30, 40, 31}, {-50, 7, 700, 20}};
    EXPECT_NEAR(straighten_from_segments(mixed), reference_proposal(mixed), 1e-4);
    // About +2 degrees over 100 px and -4 degrees over 50 px cancel out.
    const std::vector<cv::Vec4i> cancel = {{0, 0, 99936, 3490}, {0, 0, 49878, -3488}};
    EXPECT_NEAR(straighten_from_segments(cancel), 0.0, 1e-3);
    EXPECT_NEAR(straighten_from_segments(cancel), reference_proposal(cancel), 1e-4);
}

TEST(AutoStraighten, AnalysisSizes) {
    EXPECT_EQ(vantorix::analysis_height(4000, 3000, 800), 600);
    EXPECT_EQ(vantorix::analysis_height(600, 400, 800), 533);
    EXPECT_EQ(vantorix::analysis_height(2000, 2, 800), 1);
    EXPECT_EQ(vantorix::analysis_height(1, 2000, 800), 6400);
}

TEST(AutoStraighten, DrawnHorizons) {
    Context ctx;
    // Uniform: no edges, no segments, 0.
    ASSERT_TRUE(load_png(ctx, grey(800, 500, 90), "st_uniform"));
    EXPECT_EQ(straighten(ctx), 0.0f);
    // Level horizon: exactly 0.
    ASSERT_TRUE(load_png(ctx, horizon(800, 500, 250, 250), "st_level"));
    EXPECT_EQ(straighten(ctx), 0.0f);
    // Right end 30 px lower over 800 px: about +2.15 (turn counter-clockwise).
    const double tilt = std::atan2(30.0, 800.0) * 180.0 / CV_PI;
    ASSERT_TRUE(load_png(ctx, horizon(800, 500, 235, 265), "st_down"));
    const float down = straighten(ctx);
    EXPECT_NEAR(down, tilt, 0.25);
    // Right end higher: the same size, negative.
    ASSERT_TRUE(load_png(ctx, horizon(800, 500, 265, 235), "st_up"));
    EXPECT_NEAR(straighten(ctx), -tilt, 0.25);
    // A dark line drawn across a light picture, right end 30 px lower.
    cv::Mat line = grey(800, 500, 230);
    cv::line(line, cv::Point(0, 235), cv::Point(799, 265), cv::Scalar::all(20), 3);
    ASSERT_TRUE(load_png(ctx, line, "st_line"));
    EXPECT_NEAR(straighten(ctx), tilt, 0.25);
    cv::flip(line, line, 1);  // mirrored: right end higher
    ASSERT_TRUE(load_png(ctx, line, "st_line_up"));
    EXPECT_NEAR(straighten(ctx), -tilt, 0.25);
    // The segments themselves are measured by the written-out rule.
    const cv::Mat analysis = vantorix::analysis_image(ctx.ctx->source_image(), 800);
    const std::vector<cv::Vec4i> segs = vantorix::straighten_segments(analysis);
    ASSERT_FALSE(segs.empty());
    EXPECT_NEAR(straighten(ctx), reference_proposal(segs), 1e-3);
    // A smaller photograph is enlarged to 800 pixels: about the same tilt.
    ASSERT_TRUE(load_png(ctx, horizon(600, 375, 176, 199), "st_small"));
    EXPECT_NEAR(straighten(ctx), std::atan2(23.0, 600.0) * 180.0 / CV_PI, 0.5);
}

TEST(AutoStraighten, SteepLinesIgnored) {
    Context ctx;
    // 25 degrees is used, 35 degrees is not.
    const int rise25 = static_cast<int>(std::lround(800 * std::tan(25.0 * CV_PI / 180.0)));
    ASSERT_TRUE(load_png(ctx, horizon(800, 600, 50, 50 + rise25), "st_25"));
    EXPECT_NEAR(straighten(ctx), 25.0, 0.5);
    const int rise35 = static_cast<int>(std::lround(800 * std::tan(35.0 * CV_PI / 180.0)));
    ASSERT_TRUE(load_png(ctx, horizon(800, 700, 20, 20 + rise35), "st_35"));
    EXPECT_EQ(straighten(ctx), 0.0f);
    // Vertical edges alone give 0.
    cv::Mat wall = grey(800, 500, 200);
    wall(cv::Rect(300, 0, 200, 500)).setTo(cv::Scalar::all(30));
    ASSERT_TRUE(load_png(ctx, wall, "st_vertical"));
    EXPECT_EQ(straighten(ctx), 0.0f);
}

TEST(AutoStraighten, ReadsLoadedImageNotSettings) {
    Context ctx;
    ASSERT_TRUE(load_png(ctx, horizon(800, 500, 235, 265), "st_settings"));
    const float before = straighten(ctx);
    vantorix_set_rotation(ctx, 10.0f);
    vantorix_set_flip_v(ctx, 1);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(straighten(ctx), before);
    EXPECT_EQ(ctx.ctx->adjustments.rotation, 10.0f);
    ctx.ctx->raw.image = vantorix::ImageBuffer(grey(64, 64, 10));
    EXPECT_EQ(straighten(ctx), 0.0f);
}

TEST(AutoStraighten, ExtremeAspectRatios) {
    Context ctx;
    set_working(ctx, grey(3000, 2, 128));  // analysis 800 x 1
    EXPECT_EQ(straighten(ctx), 0.0f);
    set_working(ctx, grey(1, 1, 128));
    EXPECT_EQ(straighten(ctx), 0.0f);
}

TEST(AutoStraighten, Failures) {
    float a = 4.0f;
    EXPECT_EQ(vantorix_auto_straighten(nullptr, &a), -1);
    Context ctx;
    EXPECT_EQ(vantorix_auto_straighten(ctx, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_EQ(vantorix_auto_straighten(ctx, &a), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");
    EXPECT_EQ(a, 4.0f);
}

// Develop a tilted picture with the proposal as rotation, export it, load the
// export again: the new proposal is close to 0.
TEST(AutoStraighten, RoundTripThroughRotation) {
    if (!rotation_works()) GTEST_SKIP() << "the development pipeline does not rotate yet";
    // Several tilted bands, right ends 50 px lower over 800 px.
    cv::Mat img(540, 800, CV_8UC3, cv::Scalar(210, 200, 190));
    for (int i = 0; i < 5; ++i) {
        const int y = 60 + i * 90;
        const std::vector<cv::Point> band = {{0, y}, {800, y + 50}, {800, y + 95}, {0, y + 45}};
        cv::fillPoly(img, std::vector<std::vector<cv::Point>>{band}, cv::Scalar(40 + 30 * i, 70, 90));
    }
    Context ctx;
    ASSERT_TRUE(load_png(ctx, img, "st_roundtrip"));
    const float proposal = straighten(ctx);
    EXPECT_NEAR(proposal, std::atan2(50.0, 800.0) * 180.0 / CV_PI, 0.3);

    g_rotation = proposal;
    const std::string out = testsupport::temp_path("st_roundtrip_out.tif");
    vantorix_set_rotation(ctx, proposal);
    // Keep only the middle: the corners uncovered by the rotation are mirror fill.
    vantorix_set_crop(ctx, 0.12f, 0.12f, 0.76f, 0.76f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    ASSERT_EQ(vantorix_export_tiff(ctx, out.c_str()), 0) << vantorix_last_error(ctx);
    Context again;
    ASSERT_EQ(vantorix_load_arw(again, out.c_str(), 1), 0) << vantorix_last_error(again);
    const float after = straighten(again);
    EXPECT_NEAR(after, 0.0f, 0.3f) << "proposal " << proposal;

    // Turning the other way doubles the tilt instead.
    const cv::Mat wrong = testsupport::develop_via_tiff(img, [](EngineContext* c) {
        vantorix_set_rotation(c, -g_rotation);
        vantorix_set_crop(c, 0.12f, 0.12f, 0.76f, 0.76f);
    });
    ASSERT_FALSE(wrong.empty());
    cv::Mat wrong_bgr;
    cv::cvtColor(wrong, wrong_bgr, cv::COLOR_RGB2BGR);
    wrong_bgr.convertTo(wrong_bgr, CV_8U, 1.0 / 257.0);
    Context third;
    ASSERT_TRUE(load_png(third, wrong_bgr, "st_roundtrip_wrong"));
    const float doubled = straighten(third);
    EXPECT_GT(doubled, 1.5f * proposal);
    EXPECT_NEAR(doubled, 2.0f * proposal, 1.0f);
}

// Level photographs of the corpus turned by a known angle: the proposal
// should undo the turn within half a degree.
TEST(AutoStraighten, CorpusPhotographsTurnedByKnownAngles) {
    REQUIRE_CORPUS();
    // Photographs whose long horizontal edges are level (colour charts), with
    // the decoding that gives at least 1143 pixels across.
    const struct {
        const char* file;
        int flag;
    } photos[] = {
        {"jpeg/canon_eos_rp_MG_0631.JPG", cv::IMREAD_REDUCED_COLOR_4},
        {"jpeg/pentax_istdl_IMGP6667.JPG", cv::IMREAD_COLOR},
        {"jpeg/sony_slt-a57_DSC8833.JPG", cv::IMREAD_REDUCED_COLOR_2},
        {"jpeg/canon_sx150is_IMG_1038.JPG", cv::IMREAD_COLOR},
        {"jpeg/canon_eos5d3_K6A7943.JPG", cv::IMREAD_REDUCED_COLOR_2},
        {"jpeg/apple_iphone13pro_IMG_8568.JPG", cv::IMREAD_REDUCED_COLOR_2},
    };
    int trials = 0, within = 0;
    double worst = 0;
    for (const auto& photo : photos) {
        SCOPED_TRACE(photo.file);
        Context ctx;
        // Read (channels turned to RGB as the loader does) and brought to
        // 1143 pixels wide, so that the middle 70 % measured below is 800
        // pixels wide, the analysis width.
        const cv::Mat bgr = cv::imread(testsupport::corpus_dir() + "/" + photo.file, photo.flag);
        ASSERT_FALSE(bgr.empty());
        cv::Mat base;
        cv::cvtColor(bgr, base, cv::COLOR_BGR2RGB);
        if (base.cols != 1143)
            cv::resize(base, base, cv::Size(1143, base.rows * 1143 / base.cols), 0, 0,
                       base.cols > 1143 ? cv::INTER_AREA : cv::INTER_LINEAR);
        const int w = base.cols, h = base.rows;
        // The middle 70 %: inside the turned frame for every angle up to 8 degrees.
        const cv::Rect inner(w * 15 / 100, h * 15 / 100, w * 70 / 100, h * 70 / 100);
        set_working(ctx, base(inner).clone());
        EXPECT_NEAR(straighten(ctx), 0.0f, 0.3f) << "not level to begin with";
        for (int angle = -8; angle <= 8; ++angle) {
            if (angle == 0) continue;
            // Turned about the picture's centre, only the middle computed.
            cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(w * 0.5f, h * 0.5f), angle, 1.0);
            m.at<double>(0, 2) -= inner.x;
            m.at<double>(1, 2) -= inner.y;
            cv::Mat turned;
            cv::warpAffine(base, turned, m, inner.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
            set_working(ctx, turned);
            // Turned counter-clockwise by `angle`: levelled by -angle.
            const double err = straighten(ctx) + angle;
            ++trials;
            if (std::fabs(err) <= 0.5) ++within;
            worst = std::max(worst, std::fabs(err));
            EXPECT_LT(std::fabs(err), 1.0) << "turned by " << angle;
        }
    }
    std::printf("[ straighten ] %d of %d turned photographs within 0.5 degrees (%.0f %%), worst error %.2f\n", within,
                trials, 100.0 * within / trials, worst);
    EXPECT_GE(within, trials * 85 / 100);
}
