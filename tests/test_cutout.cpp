// Subject cut-out export: the developed image with the mask as alpha.
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "engine/context.h"
#include "test_segment_images.h"

using testsupport::Context;

namespace {

const char kMismatch[] = "segmentation mask does not match the developed image";
const int kW = 120, kH = 90;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

cv::Mat preview(EngineContext* ctx) {
    if (vantorix_process(ctx) != 0) return cv::Mat();
    cv::Mat out(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC4);
    if (vantorix_get_preview(ctx, out.data, static_cast<int>(out.total() * 4)) != 0) return cv::Mat();
    return out;
}

// The file's planes in red, green, blue, alpha order.
std::vector<cv::Mat> read_rgba_planes(const std::string& path) {
    const cv::Mat bgra = cv::imread(path, cv::IMREAD_UNCHANGED);
    std::vector<cv::Mat> planes;
    if (bgra.empty() || bgra.type() != CV_8UC4) return planes;
    cv::split(bgra, planes);
    std::swap(planes[0], planes[2]);
    return planes;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

// Checks a cut-out file against the developed preview and a mask.
void expect_cutout(const std::string& path, const cv::Mat& developed_rgba, const cv::Mat& mask) {
    const std::vector<cv::Mat> got = read_rgba_planes(path);
    ASSERT_EQ(got.size(), 4u) << "not an 8-bit four-channel image: " << path;
    std::vector<cv::Mat> want;
    cv::split(developed_rgba, want);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(same(got[c], want[c])) << "colour channel " << c;
    EXPECT_TRUE(same(got[3], mask)) << "alpha";
}

void load_disc(EngineContext* ctx, const char* name) {
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW, kH, {60.0f, 45.0f}, 22.0f), name));
}

}  // namespace

TEST(Cutout, AlphaIsMaskAndColourIsStraight) {
    Context ctx;
    load_disc(ctx, "cut.png");
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const std::string out = testsupport::temp_path("cut_out.png");
    // Right after segmentation, without a development: it runs first.
    ASSERT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0) << vantorix_last_error(ctx);
    EngineContext* e = ctx;
    EXPECT_FALSE(e->processed_valid);  // the export does not mark it valid

    const cv::Mat mask = segtest::read_mask(ctx, kW, kH);
    ASSERT_FALSE(mask.empty());
    const cv::Mat developed = preview(ctx);
    ASSERT_FALSE(developed.empty());
    expect_cutout(out, developed, mask);

    // Not premultiplied: transparent and half-transparent pixels keep the
    // developed colour.
    const std::vector<cv::Mat> planes = read_rgba_planes(out);
    ASSERT_EQ(planes.size(), 4u);
    int transparent = 0, partial = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int a = planes[3].at<uchar>(y, x);
            transparent += a == 0;
            partial += a > 0 && a < 255;
            if (a == 255) continue;
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(planes[c].at<uchar>(y, x), developed.at<cv::Vec4b>(y, x)[c]) << x << "," << y;
        }
    EXPECT_GT(transparent, 5000);
    EXPECT_GT(partial, 100);
}

TEST(Cutout, ReflectsCurrentSettings) {
    Context ctx;
    load_disc(ctx, "settings.png");
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    vantorix_set_brightness(ctx, 60.0f);
    vantorix_set_contrast(ctx, 30.0f);
    const std::string out = testsupport::temp_path("settings_out.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0) << vantorix_last_error(ctx);
    const cv::Mat developed = preview(ctx);
    ASSERT_FALSE(developed.empty());
    expect_cutout(out, developed, segtest::read_mask(ctx, kW, kH));

    // With a valid development the stored result is used as it is (a setting
    // changed since then shows only after the next development).
    vantorix_set_brightness(ctx, -60.0f);
    const std::string stale = testsupport::temp_path("settings_stale.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, stale.c_str()), 0);
    expect_cutout(stale, developed, segtest::read_mask(ctx, kW, kH));
}

TEST(Cutout, MaskNotMovedByGeometry) {
    // A flip changes the picture but not the mask: alpha at a row and column
    // is the mask value segmented there.
    Context ctx;
    load_disc(ctx, "flip.png");
    ASSERT_EQ(vantorix_segment_subject(ctx, 0.35f, 0.4f), 0);
    vantorix_set_flip_h(ctx, 1);
    const std::string out = testsupport::temp_path("flip_out.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0) << vantorix_last_error(ctx);
    const cv::Mat developed = preview(ctx);
    ASSERT_FALSE(developed.empty());
    expect_cutout(out, developed, segtest::read_mask(ctx, kW, kH));
}

TEST(Cutout, FullAndEmptyMasks) {
    Context ctx;
    load_disc(ctx, "extremes.png");
    EngineContext* e = ctx;
    e->mask_ready = true;
    e->subject_mask = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(255));
    const cv::Mat developed = preview(ctx);
    const std::string opaque = testsupport::temp_path("opaque.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, opaque.c_str()), 0);
    expect_cutout(opaque, developed, e->subject_mask);

    e->subject_mask = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(0));
    const std::string clear = testsupport::temp_path("clear.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, clear.c_str()), 0);
    expect_cutout(clear, developed, e->subject_mask);  // colours kept, alpha 0
}

TEST(Cutout, NullArgumentsAndMissingMask) {
    Context ctx;
    const std::string out = testsupport::temp_path("none.png");
    EXPECT_EQ(vantorix_export_subject_png(nullptr, out.c_str()), -1);
    EXPECT_EQ(vantorix_export_subject_png(ctx, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no segmentation mask");
    load_disc(ctx, "nomask.png");
    EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no segmentation mask");
    EXPECT_FALSE(exists(out));
}

TEST(Cutout, MaskOfAnotherSizeIsRefused) {
    Context ctx;
    load_disc(ctx, "mis_a.png");
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const std::string out = testsupport::temp_path("mismatch.png");
    ASSERT_TRUE(testsupport::write_bytes(out, {'o', 'l', 'd'}));
    auto refused = [&](const char* what) {
        EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), -1) << what;
        EXPECT_STREQ(vantorix_last_error(ctx), kMismatch) << what;
        EXPECT_EQ(testsupport::read_bytes(out), (std::vector<uint8_t>{'o', 'l', 'd'})) << what;
    };

    // A crop makes the developed image smaller than the mask (the developed
    // result is set directly here, as a crop leaves it).
    EngineContext* e = ctx;
    ASSERT_EQ(vantorix_process(ctx), 0);
    e->pipeline.processed.mat = e->pipeline.processed.mat(cv::Rect(10, 5, 60, 40)).clone();
    refused("cropped");

    // Another image of another size.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW + 1, kH, {60.0f, 45.0f}, 22.0f), "mis_b.png"));
    refused("other size");
    ASSERT_EQ(vantorix_process(ctx), 0);
    refused("other size, developed");

    // Nothing loaded any more.
    vantorix_unload(ctx);
    refused("unloaded");

    // An image of the same size again: the mask lines up and is used.
    ASSERT_TRUE(segtest::load_png(ctx, segtest::disc_image(kW, kH, {30.0f, 30.0f}, 10.0f, 5), "mis_c.png"));
    EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0);
    EXPECT_EQ(read_rgba_planes(out).size(), 4u);
}

TEST(Cutout, WriteFailures) {
    Context ctx;
    load_disc(ctx, "wf.png");
    ASSERT_EQ(vantorix_segment_subject(ctx, -1.0f, -1.0f), 0);
    const std::string missing_dir = testsupport::temp_path("no_such_dir/out.png");
    EXPECT_EQ(vantorix_export_subject_png(ctx, missing_dir.c_str()), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "failed to write PNG");
    const std::string no_extension = testsupport::temp_path("cutout_without_extension");
    EXPECT_EQ(vantorix_export_subject_png(ctx, no_extension.c_str()), -2);
    EXPECT_STREQ(vantorix_last_error(ctx), "failed to write PNG");
    EXPECT_FALSE(exists(no_extension));
    EXPECT_EQ(vantorix_export_subject_png(ctx, testsupport::temp_dir().c_str()), -2);
}

TEST(CutoutCli, WritesSubjectPng) {
    const cv::Mat img = segtest::disc_image(kW, kH, {45.0f, 50.0f}, 20.0f);
    const std::string in = testsupport::temp_path("cli_cut_in.png");
    const std::string out = testsupport::temp_path("cli_cut_out.png");
    ASSERT_TRUE(cv::imwrite(in, img));
    std::string err;
    ASSERT_EQ(testsupport::run_cli("cutout '" + in + "' '" + out + "' --center 0.375,0.55 --brightness -25", nullptr,
                                   &err),
              0)
        << err;

    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject(ctx, 0.375f, 0.55f), 0);
    vantorix_set_brightness(ctx, -25.0f);
    const cv::Mat developed = preview(ctx);
    ASSERT_FALSE(developed.empty());
    expect_cutout(out, developed, segtest::read_mask(ctx, kW, kH));
}

TEST(CutoutCli, UsageAndEngineErrors) {
    const std::string in = testsupport::temp_path("cli_cut_err.png");
    ASSERT_TRUE(cv::imwrite(in, segtest::disc_image(kW, kH, {60.0f, 45.0f}, 22.0f)));
    const std::string out = testsupport::temp_path("cli_cut_err_out.png");
    std::string err;
    EXPECT_EQ(testsupport::run_cli("cutout '" + in + "'", nullptr, &err), 2);
    EXPECT_EQ(testsupport::run_cli("cutout '" + in + "' '" + testsupport::temp_path("x.jpg") + "'", nullptr, &err), 2);
    EXPECT_NE(err.find(".png"), std::string::npos) << err;
    EXPECT_EQ(testsupport::run_cli("cutout '" + in + "' '" + out + "' --center 0.5", nullptr, &err), 2);
    EXPECT_EQ(testsupport::run_cli("cutout '" + in + "' '" + out + "' --bg-blur 30", nullptr, &err), 2);
    EXPECT_EQ(testsupport::run_cli("cutout '" + testsupport::temp_path("missing.png") + "' '" + out + "'", nullptr, &err),
              1);
    EXPECT_NE(err.find("OpenCV could not read"), std::string::npos) << err;
    const std::string tiny = testsupport::temp_path("cli_cut_tiny.png");
    ASSERT_TRUE(cv::imwrite(tiny, cv::Mat(2, 2, CV_8UC3, cv::Scalar(9, 9, 9))));
    EXPECT_EQ(testsupport::run_cli("cutout '" + tiny + "' '" + out + "'", nullptr, &err), 1);
    EXPECT_NE(err.find("GrabCut failed"), std::string::npos) << err;
    EXPECT_FALSE(exists(out));
}
