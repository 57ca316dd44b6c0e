// The command-line tool's lens, geometry, vignette and grain options.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

namespace {

// A 120 x 80 8-bit source with a distinct value in every pixel column and row.
std::string source_png() {
    static const std::string path = [] {
        const std::string p = testsupport::temp_path("cli_geometry_src.png");
        cv::Mat bgr(80, 120, CV_8UC3);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 2, y * 3, (x + y) % 256);
        cv::imwrite(p, bgr);
        return p;
    }();
    return path;
}

// Runs `develop` to a 16-bit TIFF with the options; returns the image (BGR) or empty.
cv::Mat develop(const std::string& options, int* status = nullptr, std::string* err = nullptr) {
    static int counter = 0;
    const std::string out = testsupport::temp_path("cli_geometry_" + std::to_string(counter++) + ".tif");
    const int rc = testsupport::run_cli("develop '" + source_png() + "' '" + out + "' " + options, nullptr, err);
    if (status) *status = rc;
    if (rc != 0) return cv::Mat();
    return cv::imread(out, cv::IMREAD_UNCHANGED);
}

}  // namespace

TEST(GeometryCli, CropAndRotateSetTheOutputSize) {
    int rc = -1;
    std::string err;
    cv::Mat out = develop("--crop 0.25,0,0.5,1", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(out.size(), cv::Size(60, 80));
    out = develop("--rotate -12.5 --crop 0.1,0.2,0.5,0.25", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(out.size(), cv::Size(60, 20));
    // Rotation keeps the frame, and a crop of 10 pixels is refused: full size.
    out = develop("--rotate 90 --crop 0,0,0.5,0.125", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(out.size(), cv::Size(120, 80));
}

TEST(GeometryCli, FlipMirrorsTheOutput) {
    const cv::Mat src = cv::imread(source_png(), cv::IMREAD_UNCHANGED);
    cv::Mat src16;
    src.convertTo(src16, CV_16U, 257.0);
    int rc = -1;
    std::string err;
    const cv::Mat h = develop("--temperature 6500 --flip-h", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    cv::Mat expected;
    cv::flip(src16, expected, 1);
    ASSERT_EQ(h.size(), expected.size());
    EXPECT_EQ(cv::norm(h, expected, cv::NORM_INF), 0.0);
}

TEST(GeometryCli, OptionsReachTheirSettings) {
    // Every deterministic option at once gives exactly what the same settings
    // give through the library interface.
    int rc = -1;
    std::string err;
    const cv::Mat cli = develop(
        "--temperature 6500 --distortion 20 --ca 1000 --lens-vignette 30 --defringe 40 --flip-h --flip-v "
        "--rotate 5 --perspective-h 10 --perspective-v -5 --crop 0.1,0.1,0.5,0.5 --vignette -30,40,-20",
        &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    ASSERT_EQ(cli.size(), cv::Size(60, 40));
    cv::Mat lib = testsupport::develop_via_tiff(cv::imread(source_png()), [](EngineContext* c) {
        vantorix_set_temperature(c, 6500);
        vantorix_set_distortion(c, 20);
        vantorix_set_ca_correction(c, 1000);
        vantorix_set_lens_vignette(c, 30);
        vantorix_set_defringe(c, 40);
        vantorix_set_flip_h(c, 1);
        vantorix_set_flip_v(c, 1);
        vantorix_set_rotation(c, 5);
        vantorix_set_perspective_h(c, 10);
        vantorix_set_perspective_v(c, -5);
        vantorix_set_crop(c, 0.1f, 0.1f, 0.5f, 0.5f);
        vantorix_set_vignette_amount(c, -30);
        vantorix_set_vignette_midpoint(c, 40);
        vantorix_set_vignette_roundness(c, -20);
    });
    ASSERT_EQ(lib.size(), cli.size());
    cv::cvtColor(lib, lib, cv::COLOR_RGB2BGR);
    EXPECT_EQ(cv::norm(cli, lib, cv::NORM_INF), 0.0);

    // Grain with a size: noise of the requested strength, coarse at size 100.
    const cv::Mat plain = develop("--temperature 6500", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    const cv::Mat grainy = develop("--temperature 6500 --grain 100,100", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    cv::Mat a, b;
    cv::extractChannel(plain, a, 1);
    cv::extractChannel(grainy, b, 1);
    cv::Mat diff;
    cv::subtract(b, a, diff, cv::noArray(), CV_64F);
    // Green rises 3 per row to 237: rows 8..70 are far from both clipping points.
    const cv::Mat inner = diff.rowRange(8, 70);
    cv::Scalar mean, sd;
    cv::meanStdDev(inner, mean, sd);
    EXPECT_NEAR(sd[0], 0.05 * 65535, 0.05 * 65535 * 0.15);
    const cv::Mat l = inner.colRange(0, 119), r = inner.colRange(1, 120);
    EXPECT_GT(l.dot(r) / std::sqrt(l.dot(l) * r.dot(r)), 0.8);
}

TEST(GeometryCli, MalformedValuesAreUsageErrors) {
    const char* const bad[] = {"--crop 0,0,1", "--vignette 1,2,3,4", "--grain 1,2,3", "--crop nan,0,0.5,0.5"};
    for (const char* opt : bad) {
        int rc = -1;
        std::string err;
        develop(opt, &rc, &err);
        EXPECT_EQ(rc, 2) << opt;
        EXPECT_NE(err.find("vantorix: bad value for "), std::string::npos) << opt << ": " << err;
    }
}
