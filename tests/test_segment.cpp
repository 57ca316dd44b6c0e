// Subject segmentation: seed rectangle, GrabCut mask, clean-up and feathering,
// mask read-out and lifetime, reproducibility.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "analysis/segmentation.h"
#include "engine/context.h"
#include "test_segment_images.h"

using testsupport::Context;

namespace {

const char kNoMaskMessage[] = "no segmentation mask \xE2\x80\x94 call vantorix_segment_subject first";

// The seed rectangle written out from its definition, independently of the
// engine's helper.
cv::Rect reference_rect(int W, int H, float cx, float cy) {
    int px, py;
    if (cx >= 0.0f) {
        px = static_cast<int>(std::trunc(static_cast<float>(W) * cx));
    } else {
        px = W / 2;
    }
    if (cy >= 0.0f) {
        py = static_cast<int>(std::trunc(static_cast<float>(H) * cy));
    } else {
        py = H / 2;
    }
    int rw = 3 * W / 5, rh = 3 * H / 5;
    const int x0 = px - rw / 2 > 1 ? px - rw / 2 : 1;
    const int y0 = py - rh / 2 > 1 ? py - rh / 2 : 1;
    if (W - x0 - 1 < rw) rw = W - x0 - 1;
    if (H - y0 - 1 < rh) rh = H - y0 - 1;
    return cv::Rect(x0, y0, rw, rh);
}

// Distance (in pixels) from (x, y) to the outline of a disc.
float outline_distance(int x, int y, cv::Point2f c, float r) {
    return std::fabs(std::hypot(static_cast<float>(x) - c.x, static_cast<float>(y) - c.y) - r);
}

}  // namespace

// ---- Seed rectangle -------------------------------------------------------

TEST(SegmentRect, CentreOf512Image) {
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, -1.0f, -1.0f), cv::Rect(103, 103, 307, 307));
    // Any negative value means the middle.
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, -0.5f, -7.0f), cv::Rect(103, 103, 307, 307));
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, 0.5f, 0.5f), cv::Rect(103, 103, 307, 307));
}

TEST(SegmentRect, OriginCorner) {
    // px = py = 0: the rectangle starts at (1, 1) and keeps its 60 % size.
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, 0.0f, 0.0f), cv::Rect(1, 1, 307, 307));
}

TEST(SegmentRect, FarEdge) {
    // center_x = 1: px = 512, x0 = 512 - 153 = 359, width cut to 512 - 359 - 1 = 152.
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, 1.0f, -1.0f), cv::Rect(359, 103, 152, 307));
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, 1.0f, 1.0f), cv::Rect(359, 359, 152, 152));
    EXPECT_EQ(vantorix::subject_seed_rect(512, 341, -1.0f, 1.0f), cv::Rect(103, 239, 307, 101));
}

TEST(SegmentRect, MatchesDefinitionOverSizesAndCentres) {
    const int sizes[] = {1, 2, 3, 4, 5, 7, 10, 33, 100, 341, 511, 512};
    const float centres[] = {-1.0f, 0.0f, 0.1f, 0.25f, 0.333f, 0.5f, 0.77f, 0.999f, 1.0f, 1.2f};
    for (int W : sizes)
        for (int H : sizes)
            for (float cx : centres)
                for (float cy : centres)
                    ASSERT_EQ(vantorix::subject_seed_rect(W, H, cx, cy), reference_rect(W, H, cx, cy))
                        << W << "x" << H << " centre " << cx << "," << cy;
}

TEST(SegmentRect, NonFiniteAndHugeCentres) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, nan, nan), cv::Rect(103, 103, 307, 307));
    EXPECT_EQ(vantorix::subject_seed_rect(512, 512, -inf, -inf), cv::Rect(103, 103, 307, 307));
    // Far outside the image: the rectangle has no area (GrabCut rejects it).
    for (float c : {inf, 1e30f, 3e9f, 5.0f}) {
        const cv::Rect r = vantorix::subject_seed_rect(512, 512, c, 0.5f);
        EXPECT_LE(r.width, 0) << c;
        EXPECT_EQ(r.y, 103);
    }
}

// ---- Segmentation through the interface -----------------------------------

TEST(Segment, DiscGivesAccurateFeatheredMask) {
    Context ctx;
    const int W = 240, H = 180;
    const cv::Point2f c(100.0f, 80.0f);
    const float r = 45.0f;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, c, r), "disc.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, c.x / W, c.y / H), 0) << vantorix_last_error(ctx);
    const cv::Mat mask = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(mask.empty());
    const double score = segtest::iou(mask, segtest::disc_truth(W, H, c, r));
    std::printf("disc %dx%d: intersection over union %.4f\n", W, H, score);
    EXPECT_GT(score, 0.9);

    // Opaque inside, transparent outside, soft values only near the outline.
    int soft = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = mask.at<uchar>(y, x);
            const float d = std::hypot(x - c.x, y - c.y);
            if (d < r - 8.0f) {
                ASSERT_EQ(v, 255) << x << "," << y;
            }
            if (d > r + 8.0f) {
                ASSERT_EQ(v, 0) << x << "," << y;
            }
            if (v > 0 && v < 255) {
                ++soft;
                ASSERT_LT(outline_distance(x, y, c, r), 8.0f) << x << "," << y;
            }
        }
    EXPECT_GT(soft, 2 * 3.14159 * r * 2);  // a band several pixels wide all round

    // Across the edge on the centre row the matte falls from 255 to 0 through
    // several intermediate values, never rising.
    const int y = static_cast<int>(c.y);
    int between = 0;
    for (int x = static_cast<int>(c.x); x < W - 1; ++x) {
        ASSERT_GE(mask.at<uchar>(y, x), mask.at<uchar>(y, x + 1)) << x;
        const int v = mask.at<uchar>(y, x);
        between += v > 0 && v < 255;
    }
    EXPECT_GE(between, 4);
}

TEST(Segment, ReducedCopyGivesFullSizeMask) {
    // 900 x 600 is segmented on a 512 x 341 copy; the mask has the full size.
    Context ctx;
    const int W = 900, H = 600;
    const cv::Point2f c(450.0f, 300.0f);
    const float r = 160.0f;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, c, r), "big_disc.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0) << vantorix_last_error(ctx);
    EXPECT_EQ(vantorix_get_mask(ctx, cv::Mat(H, W - 1, CV_8UC1).data, W * H - 1), -2);
    const cv::Mat mask = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(mask.empty());
    const double score = segtest::iou(mask, segtest::disc_truth(W, H, c, r));
    std::printf("disc %dx%d (reduced): intersection over union %.4f\n", W, H, score);
    EXPECT_GT(score, 0.9);
    // The edge is thresholded after the upscale and feathered at full size:
    // a soft band of a few pixels, not the stair-steps of the 512 copy.
    int soft = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = mask.at<uchar>(y, x);
            if (v > 0 && v < 255) {
                ++soft;
                ASSERT_LT(outline_distance(x, y, c, r), 12.0f) << x << "," << y;
            }
        }
    EXPECT_GT(soft, 2 * 3.14159 * r * 2);
}

TEST(Segment, SeedRectangleBoundsTheSubject) {
    // A disc much larger than the seed rectangle: GrabCut labels everything
    // outside the rectangle as background, so the mask (after clean-up and
    // feathering, which reach a few pixels) is 0 well outside it, while the
    // part of the disc inside the rectangle is found.
    Context ctx;
    const int W = 200, H = 150;
    const float cx = 0.3f, cy = 0.6f;
    const cv::Point2f c(W * cx, H * cy);
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, c, 110.0f), "large_disc.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, cx, cy), 0) << vantorix_last_error(ctx);
    const cv::Mat mask = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(mask.empty());
    const cv::Rect rect = reference_rect(W, H, cx, cy);  // (1, 45, 120, 90)
    ASSERT_EQ(rect, cv::Rect(1, 45, 120, 90));
    const cv::Rect grown(rect.x - 8, rect.y - 8, rect.width + 16, rect.height + 16);
    int inside_fg = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (!grown.contains(cv::Point(x, y))) {
                ASSERT_EQ(mask.at<uchar>(y, x), 0) << x << "," << y;
            }
            inside_fg += rect.contains(cv::Point(x, y)) && mask.at<uchar>(y, x) == 255;
        }
    EXPECT_GT(inside_fg, rect.area() / 2);
}

TEST(Segment, FailuresAndMessages) {
    EXPECT_EQ(vantorix_segment_subject(nullptr, -1.0f, -1.0f), -1);
    Context ctx;
    EXPECT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no image loaded");

    // A first mask, which every failure below must leave alone.
    const int W = 96, H = 72;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {48.0f, 36.0f}, 18.0f), "first.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0) << vantorix_last_error(ctx);
    const cv::Mat first = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(first.empty());
    auto unchanged = [&](const char* what) {
        const cv::Mat now = segtest::read_mask(ctx, W, H);
        ASSERT_FALSE(now.empty()) << what;
        EXPECT_EQ(cv::countNonZero(now != first), 0) << what;
    };

    // A seed rectangle without area on a very small image: on 2 x 2 it is
    // (1, 1, 0, 0).
    ASSERT_EQ(vantorix::subject_seed_rect(2, 2, -1.0f, -1.0f), cv::Rect(1, 1, 0, 0));
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(2, 2, {1.0f, 1.0f}, 1.0f), "tiny.png"));
    EXPECT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");
    unchanged("2x2");

    // One row: 600 x 1 is reduced to 512 x 1, where the rectangle has no height.
    vantorix_set_bg_blur(ctx, 0.0f);
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(600, 1, {300.0f, 0.0f}, 50.0f), "row.png"));
    EXPECT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");
    unchanged("600x1");

    // 2000 x 1 cannot even be reduced (its copy would have no rows): the
    // library's error becomes a failure result, nothing escapes.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(2000, 1, {1000.0f, 0.0f}, 50.0f), "long_row.png"));
    EXPECT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), -1);
    EXPECT_NE(std::string(vantorix_last_error(ctx)), "");
    unchanged("2000x1");

    // A centre far outside the image.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {48.0f, 36.0f}, 18.0f), "again.png"));
    for (float c : {5.0f, 1e30f, std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(vantorix_segment_subject(ctx, c, c), -2) << c;
        EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");
    }
    unchanged("outside centre");
    // NaN stands for the middle, like a negative value.
    EXPECT_EQ(vantorix_segment_subject(ctx, std::nanf(""), std::nanf("")), 0);
    unchanged("NaN centre");
}

TEST(GetMask, CodesCapacityAndMessages) {
    uint8_t byte = 0;
    EXPECT_EQ(vantorix_get_mask(nullptr, &byte, 1), -1);
    Context ctx;
    EXPECT_EQ(vantorix_get_mask(ctx, nullptr, 100), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");  // null pointer: no message
    EXPECT_EQ(vantorix_get_mask(ctx, &byte, 1), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), kNoMaskMessage);
    EXPECT_EQ(std::strlen(vantorix_last_error(ctx)), 60u);

    const int W = 96, H = 72;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {48.0f, 36.0f}, 18.0f), "m.png"));
    EXPECT_EQ(vantorix_get_mask(ctx, &byte, 1), -1);  // loaded, not segmented
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    vantorix_set_bg_blur(ctx, 0.0f);
    ASSERT_EQ(vantorix_segment_subject(ctx, 7.0f, 7.0f), -2);  // leaves "GrabCut failed"

    std::vector<uint8_t> buf(W * H + 16, 0xAB);
    EXPECT_EQ(vantorix_get_mask(ctx, buf.data(), W * H - 1), -2);
    EXPECT_EQ(vantorix_get_mask(ctx, buf.data(), 0), -2);
    EXPECT_EQ(vantorix_get_mask(ctx, buf.data(), -5), -2);
    for (uint8_t b : buf) ASSERT_EQ(b, 0xAB);  // nothing written
    EXPECT_STREQ(vantorix_last_error(ctx), "GrabCut failed");  // no message for -2

    EXPECT_EQ(vantorix_get_mask(ctx, buf.data(), W * H), 0);
    for (int i = W * H; i < W * H + 16; ++i) ASSERT_EQ(buf[i], 0xAB);  // exactly w x h bytes
    const EngineContext* e = ctx;
    ASSERT_EQ(e->subject_mask.type(), CV_8UC1);
    ASSERT_TRUE(e->subject_mask.isContinuous());
    EXPECT_EQ(std::memcmp(buf.data(), e->subject_mask.data, W * H), 0);
    EXPECT_EQ(buf[(H / 2) * W + W / 2], 255);  // row-major, centre of the disc
    EXPECT_EQ(buf[0], 0);
}

TEST(Segment, MaskOutlivesLoadsAndUnloads) {
    Context ctx;
    const int W = 120, H = 90;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {60.0f, 45.0f}, 22.0f), "a.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat first = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(first.empty());

    // Another image of another size: the old mask stays, with its own size.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(80, 64, {40.0f, 32.0f}, 15.0f), "b.png"));
    std::vector<uint8_t> small(80 * 64);
    EXPECT_EQ(vantorix_get_mask(ctx, small.data(), static_cast<int>(small.size())), -2);
    cv::Mat m = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(cv::countNonZero(m != first), 0);

    vantorix_set_brightness(ctx, 40.0f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    vantorix_reset_adjustments(ctx);
    vantorix_unload(ctx);
    m = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(cv::countNonZero(m != first), 0);

    // A new segmentation replaces the mask completely.
    const cv::Point2f c(30.0f, 25.0f);
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, c, 18.0f), "c.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, c.x / W, c.y / H), 0);
    m = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(m.empty());
    EXPECT_GT(segtest::iou(m, segtest::disc_truth(W, H, c, 18.0f)), 0.9);
    EXPECT_EQ(m.at<uchar>(45, 60), 0);  // the old subject's centre
}

TEST(Segment, IgnoresDevelopmentSettings) {
    const int W = 120, H = 90;
    const cv::Mat img = segtest::disc_image(W, H, {60.0f, 45.0f}, 22.0f);
    Context plain, adjusted;
    ASSERT_TRUE(segtest::load_png(plain, img, "s1.png"));
    ASSERT_TRUE(segtest::load_png(adjusted, img, "s2.png"));
    vantorix_set_brightness(adjusted, 90.0f);
    vantorix_set_contrast(adjusted, -80.0f);
    vantorix_set_flip_h(adjusted, 1);
    vantorix_set_crop(adjusted, 0.1f, 0.1f, 0.5f, 0.5f);
    ASSERT_EQ(vantorix_process(adjusted), 0);
    ASSERT_EQ(vantorix_segment_subject(plain, -1.0f, -1.0f), 0);
    ASSERT_EQ(vantorix_segment_subject(adjusted, -1.0f, -1.0f), 0);
    const cv::Mat a = segtest::read_mask(plain, W, H), b = segtest::read_mask(adjusted, W, H);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(cv::countNonZero(a != b), 0);
}

// ---- Reproducibility --------------------------------------------------------

TEST(SegmentRepeatable, SameMaskAfterOtherRandomDraws) {
    const int W = 120, H = 90;
    Context ctx;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {58.0f, 47.0f}, 24.0f), "rep.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat first = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(first.empty());

    // What a grain render does to the thread's generator.
    cv::Mat noise(H, W, CV_32FC1);
    cv::randn(noise, 0.0, 0.05);
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat second = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(cv::countNonZero(first != second), 0);

    // Whatever state the generator is in.
    cv::theRNG().state = 0x123456789abcdefULL;
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat third = segtest::read_mask(ctx, W, H);
    EXPECT_EQ(cv::countNonZero(first != third), 0);
}

TEST(SegmentRepeatable, GeneratorStateIsRestored) {
    const int W = 120, H = 90;
    Context ctx;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {60.0f, 45.0f}, 22.0f), "rng.png"));
    cv::theRNG().state = 0xfeedbeefcafeULL;
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    EXPECT_EQ(cv::theRNG().state, 0xfeedbeefcafeULL);
    // The grain sequence continues as if segmentation had not happened.
    cv::Mat a(8, 8, CV_32FC1), b(8, 8, CV_32FC1);
    cv::theRNG().state = 42;
    cv::randn(a, 0.0, 1.0);
    cv::theRNG().state = 42;
    ASSERT_EQ(vantorix_segment_subject(ctx, 0.4f, 0.6f), 0);
    cv::randn(b, 0.0, 1.0);
    EXPECT_EQ(cv::countNonZero(a != b), 0);
    // Also when GrabCut fails.
    cv::theRNG().state = 99;
    ASSERT_EQ(vantorix_segment_subject(ctx, 9.0f, 9.0f), -2);
    EXPECT_EQ(cv::theRNG().state, 99u);
}

TEST(SegmentRepeatable, SameMaskAroundGrainRenders) {
    const int W = 120, H = 90;
    Context ctx;
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(W, H, {62.0f, 44.0f}, 23.0f), "grain.png"));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat first = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(first.empty());
    vantorix_set_grain_amount(ctx, 80.0f);
    vantorix_set_grain_size(ctx, 0.0f);
    std::vector<uint8_t> preview(W * H * 4);
    ASSERT_EQ(vantorix_get_preview(ctx, preview.data(), static_cast<int>(preview.size())), 0);
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat second = segtest::read_mask(ctx, W, H);
    EXPECT_EQ(cv::countNonZero(first != second), 0);
}

TEST(SegmentRepeatable, SameMaskOnAnotherThread) {
    const int W = 120, H = 90;
    const cv::Mat img = segtest::disc_image(W, H, {57.0f, 46.0f}, 21.0f);
    Context here;
    ASSERT_TRUE(segtest::load_png(here, img, "thread.png"));
    ASSERT_EQ(vantorix_segment_subject(here, -1.0f, -1.0f), 0);
    const cv::Mat mine = segtest::read_mask(here, W, H);
    cv::Mat theirs;
    std::thread worker([&] {
        Context there;
        cv::Mat noise(4, 4, CV_32FC1);
        cv::randn(noise, 0.0, 1.0);
        if (segtest::load_png(there, img, "thread2.png") && vantorix_segment_subject(there, -1.0f, -1.0f) == 0)
            theirs = segtest::read_mask(there, W, H);
    });
    worker.join();
    ASSERT_FALSE(theirs.empty());
    EXPECT_EQ(cv::countNonZero(mine != theirs), 0);
}

// ---- Which image is segmented -----------------------------------------------

TEST(SegmentSource, RawResultBeforeWorkingImage) {
    // With a RAW development present, the mask comes from raw.image even when
    // the working image differs.
    const int W = 120, H = 90;
    const cv::Mat img = segtest::disc_image(W, H, {60.0f, 45.0f}, 22.0f);
    cv::Mat rgb;
    cv::cvtColor(img, rgb, cv::COLOR_BGR2RGB);

    Context reference;
    ASSERT_TRUE(segtest::load_png(reference, img, "src.png"));
    ASSERT_EQ(vantorix_segment_subject(reference, -1.0f, -1.0f), 0);
    const cv::Mat expected = segtest::read_mask(reference, W, H);
    ASSERT_FALSE(expected.empty());

    Context ctx;
    EngineContext* e = ctx;
    e->raw.image = vantorix::ImageBuffer(rgb);
    e->pipeline.working = vantorix::ImageBuffer(cv::Mat(50, 70, CV_8UC3, cv::Scalar(10, 200, 30)));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat got = segtest::read_mask(ctx, W, H);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(cv::countNonZero(got != expected), 0);

    // Without a RAW development the working image is used.
    e->raw.image = vantorix::ImageBuffer();
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    EXPECT_EQ(e->subject_mask.size(), cv::Size(70, 50));
}

TEST(SegmentSource, CameraRawFile) {
    REQUIRE_CORPUS();
    const std::string path = CORPUS_FILE("raw/kodak_dc50_DC0008L.KDC");
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 4), 0) << vantorix_last_error(ctx);  // quarter size
    EngineContext* e = ctx;
    ASSERT_FALSE(e->raw.image.empty());
    const cv::Size raw_size = e->raw.image.mat.size();
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0) << vantorix_last_error(ctx);
    const cv::Mat from_load = segtest::read_mask(ctx, raw_size.width, raw_size.height);
    ASSERT_FALSE(from_load.empty());

    // Replace the working image: the mask must not change, it comes from raw.
    e->pipeline.working = vantorix::ImageBuffer(cv::Mat(40, 30, CV_8UC3, cv::Scalar(0, 0, 0)));
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const cv::Mat again = segtest::read_mask(ctx, raw_size.width, raw_size.height);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(cv::countNonZero(again != from_load), 0);
    // Some subject was found and the edge is feathered.
    const int soft = cv::countNonZero((again > 0) & (again < 255));
    EXPECT_GT(soft, 0);
}

TEST(SegmentSource, EightBitConversionMatchesBufferConversion) {
    // The one-pass conversion equals to_8bit followed by RGBA -> BGR, for
    // every 16-bit value in every channel position and odd sizes.
    cv::Mat all(1, 65536, CV_16UC4);
    for (int i = 0; i < 65536; ++i)
        all.at<cv::Vec4w>(i) = cv::Vec4w(static_cast<uint16_t>(i), static_cast<uint16_t>(65535 - i),
                                         static_cast<uint16_t>((i * 7919) & 0xffff), static_cast<uint16_t>(i ^ 0x5555));
    cv::Mat odd(37, 53, CV_16UC4);
    cv::RNG rng(17);
    rng.fill(odd, cv::RNG::UNIFORM, 0, 65536);
    for (const cv::Mat& m : {all, odd, cv::Mat(odd, cv::Rect(3, 2, 31, 30))}) {
        cv::Mat expected;
        cv::cvtColor(vantorix::ImageBuffer(m).to_8bit(), expected, cv::COLOR_RGBA2BGR);
        const cv::Mat got = vantorix::loaded_bgr8(m);
        ASSERT_EQ(got.type(), CV_8UC3);
        ASSERT_EQ(got.size(), m.size());
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0);
    }
    // Spot values of the ÷257 rounding.
    cv::Mat px(1, 1, CV_16UC4, cv::Scalar(65535, 32896, 129, 0));
    EXPECT_EQ(vantorix::loaded_bgr8(px).at<cv::Vec3b>(0), cv::Vec3b(1, 128, 255));
}
