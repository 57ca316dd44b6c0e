// The detail settings through the public interface and the command-line tool:
// develop, export a 16-bit TIFF, read it back.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pipeline/stages.h"
#include "support/test_support.h"
#include "test_detail_common.h"

using vantorix::Adjustments;

namespace {

// An 8-bit BGR picture with soft gradients, edges and some noise.
cv::Mat source_bgr(int cols, int rows, uint64_t seed) {
    cv::Mat bgr(rows, cols, CV_8UC3);
    cv::RNG rng(seed);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 120 + 70 * std::sin(0.21 * x + c) * std::cos(0.17 * y - c) + rng.uniform(-12, 12);
                if ((x / 7 + y / 5) % 4 == 0) v -= 60;
                bgr.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(v);
            }
    return bgr;
}

// The float image the driver develops from an 8-bit source.
cv::Mat working_float(const cv::Mat& bgr) {
    cv::Mat rgba8, rgba16, f;
    cv::cvtColor(bgr, rgba8, cv::COLOR_BGR2RGBA);
    rgba8.convertTo(rgba16, CV_16U, 257.0);
    rgba16.convertTo(f, CV_32F, 1.5259021896696422e-5);
    return f;
}

cv::Mat to_rgb16(const cv::Mat& f) {
    cv::Mat w, rgb;
    f.convertTo(w, CV_16U, 65535.0);
    cv::cvtColor(w, rgb, cv::COLOR_RGBA2RGB);
    return rgb;
}

double max_diff16(const cv::Mat& a, const cv::Mat& b) {
    EXPECT_EQ(a.size(), b.size());
    EXPECT_EQ(a.type(), b.type());
    if (a.size() != b.size() || a.type() != b.type()) return 1e9;
    return cv::norm(a, b, cv::NORM_INF);
}

cv::Mat read_tiff_rgb(const std::string& path) {
    cv::Mat bgr = cv::imread(path, cv::IMREAD_UNCHANGED), rgb;
    if (!bgr.empty()) cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

}  // namespace

TEST(DetailPipeline, EachSettingReachesTheDevelopedImage) {
    const cv::Mat bgr = source_bgr(48, 36, 61);
    const cv::Mat f = working_float(bgr);
    struct Case {
        const char* name;
        void (*configure)(EngineContext*);
        cv::Mat expected;
    };
    const Case cases[] = {
        {"clarity", [](EngineContext* c) { vantorix_set_clarity(c, 70.0f); }, detailref::clarity_texture(f, 70.0f, 0.0f)},
        {"texture", [](EngineContext* c) { vantorix_set_texture(c, -80.0f); }, detailref::clarity_texture(f, 0.0f, -80.0f)},
        {"dehaze", [](EngineContext* c) { vantorix_set_dehaze(c, 60.0f); }, detailref::dehaze(f, 60.0f)},
        {"nr luminance", [](EngineContext* c) { vantorix_set_nr_luminance(c, 45.0f); },
         detailref::noise_reduction(f, 45.0f, 0.0f, 7, 0)},
        {"nr color", [](EngineContext* c) { vantorix_set_nr_color(c, 80.0f); },
         detailref::noise_reduction(f, 0.0f, 80.0f, 0, 9)},
        {"sharpen",
         [](EngineContext* c) {
             vantorix_set_sharpening_amount(c, 120.0f);
             vantorix_set_sharpening_radius(c, 1.4f);
             vantorix_set_sharpening_threshold(c, 500.0f);
         },
         detailref::sharpen(f, 120.0f, 1.4f, 500.0f)},
    };
    const cv::Mat untouched = to_rgb16(f);
    for (const Case& k : cases) {
        const cv::Mat got = testsupport::develop_via_tiff(bgr, k.configure);
        ASSERT_FALSE(got.empty()) << k.name;
        EXPECT_LE(max_diff16(got, to_rgb16(k.expected)), 2.0) << k.name;
        EXPECT_GT(max_diff16(got, untouched), 500.0) << k.name;
    }
}

TEST(DetailPipeline, StagesRunInTheirFixedOrder) {
    const cv::Mat bgr = source_bgr(40, 30, 62);
    const cv::Mat got = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_clarity(c, 40.0f);
        vantorix_set_texture(c, 30.0f);
        vantorix_set_dehaze(c, 50.0f);
        vantorix_set_nr_luminance(c, 30.0f);
        vantorix_set_nr_color(c, 40.0f);
        vantorix_set_sharpening_amount(c, 90.0f);
    });
    Adjustments adj;
    adj.clarity = 40.0f;
    adj.texture = 30.0f;
    adj.dehaze = 50.0f;
    adj.nr_luminance = 30.0f;
    adj.nr_color = 40.0f;
    adj.sharpen_amount = 90.0f;
    cv::Mat f = working_float(bgr);
    vantorix::apply_clarity_texture(f, adj);
    vantorix::apply_dehaze(f, adj);
    vantorix::apply_noise_reduction(f, adj);
    vantorix::apply_sharpening(f, adj);
    EXPECT_EQ(max_diff16(got, to_rgb16(f)), 0.0);

    cv::Mat swapped = working_float(bgr);  // dehaze before clarity: a different picture
    vantorix::apply_dehaze(swapped, adj);
    vantorix::apply_clarity_texture(swapped, adj);
    vantorix::apply_noise_reduction(swapped, adj);
    vantorix::apply_sharpening(swapped, adj);
    EXPECT_GT(max_diff16(got, to_rgb16(swapped)), 10.0);
}

TEST(DetailPipeline, InertSettingsKeepEverySample) {
    const cv::Mat bgr = source_bgr(33, 27, 63);
    const cv::Mat got = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_clarity(c, 0.0f);
        vantorix_set_dehaze(c, -40.0f);
        vantorix_set_nr_luminance(c, -20.0f);
        vantorix_set_nr_color(c, 0.0f);
        vantorix_set_sharpening_amount(c, 80.0f);
        vantorix_set_sharpening_radius(c, 0.0f);  // no kernel: sharpening is skipped
    });
    cv::Mat rgb, expected;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    rgb.convertTo(expected, CV_16U, 257.0);
    EXPECT_EQ(max_diff16(got, expected), 0.0);
}

TEST(DetailCli, DetailOptionsDevelopLikeTheLibrary) {
    const cv::Mat bgr = source_bgr(44, 32, 64);
    const std::string in = testsupport::temp_path("detail_cli_in.png");
    const std::string out = testsupport::temp_path("detail_cli_out.tif");
    testsupport::write_image(in, bgr);
    std::string err;
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + out +
                                       "' --clarity 40 --texture -30 --dehaze 25 --nr-luminance 30 --nr-color 20"
                                       " --sharpen 90,1.5,200",
                                   nullptr, &err),
              0)
        << err;
    const cv::Mat expected = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_clarity(c, 40.0f);
        vantorix_set_texture(c, -30.0f);
        vantorix_set_dehaze(c, 25.0f);
        vantorix_set_nr_luminance(c, 30.0f);
        vantorix_set_nr_color(c, 20.0f);
        vantorix_set_sharpening_amount(c, 90.0f);
        vantorix_set_sharpening_radius(c, 1.5f);
        vantorix_set_sharpening_threshold(c, 200.0f);
    });
    const cv::Mat got = read_tiff_rgb(out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(max_diff16(got, expected), 0.0);
    const cv::Mat plain = testsupport::develop_via_tiff(bgr, nullptr);
    EXPECT_GT(max_diff16(got, plain), 500.0);
}

TEST(DetailCli, SharpenRadiusAndThresholdAreOptional) {
    const cv::Mat bgr = source_bgr(30, 24, 65);
    const std::string in = testsupport::temp_path("detail_cli_sharp.png");
    testsupport::write_image(in, bgr);
    const std::string out1 = testsupport::temp_path("detail_cli_s1.tif"), out2 = testsupport::temp_path("detail_cli_s2.tif"),
                      out3 = testsupport::temp_path("detail_cli_s3.tif");
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + out1 + "' --sharpen 90"), 0);
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + out2 + "' --sharpen 90,2"), 0);
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + out3 + "' --sharpen 90,0"), 0);
    const cv::Mat default_radius = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_sharpening_amount(c, 90.0f);
    });
    const cv::Mat radius2 = testsupport::develop_via_tiff(bgr, [](EngineContext* c) {
        vantorix_set_sharpening_amount(c, 90.0f);
        vantorix_set_sharpening_radius(c, 2.0f);
    });
    EXPECT_EQ(max_diff16(read_tiff_rgb(out1), default_radius), 0.0);
    EXPECT_EQ(max_diff16(read_tiff_rgb(out2), radius2), 0.0);
    EXPECT_GT(max_diff16(default_radius, radius2), 100.0);
    // Radius 0: the image comes out unsharpened.
    EXPECT_EQ(max_diff16(read_tiff_rgb(out3), testsupport::develop_via_tiff(bgr, nullptr)), 0.0);
}

TEST(DetailCli, MalformedDetailValuesAreUsageErrors) {
    const cv::Mat bgr = source_bgr(8, 8, 66);
    const std::string in = testsupport::temp_path("detail_cli_bad.png");
    const std::string out = testsupport::temp_path("detail_cli_bad.tif");
    testsupport::write_image(in, bgr);
    const std::string base = "develop '" + in + "' '" + out + "' ";
    struct Case {
        const char* args;
        const char* message;
    };
    for (const Case& k : {Case{"--sharpen 1,2,3,4", "vantorix: bad value for --sharpen: '1,2,3,4'"},
                          Case{"--clarity 5 --nr-luminance inf", "vantorix: bad value for --nr-luminance: 'inf'"},
                          Case{"--dehaze", "vantorix: option --dehaze needs a value"}}) {
        std::string err;
        EXPECT_EQ(testsupport::run_cli(base + k.args, nullptr, &err), 2) << k.args;
        EXPECT_NE(err.find(k.message), std::string::npos) << k.args << ": " << err;
    }
    // Negative values are values, not options.
    EXPECT_EQ(testsupport::run_cli(base + "--clarity -50 --dehaze -10 --sharpen 20,0.5,-3"), 0);
}

TEST(DetailStages, TinyAndEmptyImagesAtFullStrength) {
    Adjustments adj;
    adj.clarity = 100.0f;
    adj.texture = 100.0f;
    adj.dehaze = 100.0f;
    adj.nr_luminance = 100.0f;
    adj.nr_color = 100.0f;
    adj.sharpen_amount = 150.0f;
    adj.sharpen_radius = 3.0f;
    for (cv::Size sz : {cv::Size(1, 1), cv::Size(1, 9), cv::Size(9, 1), cv::Size(2, 2), cv::Size(3, 2)}) {
        const cv::Mat src = detailref::make_image(sz.width, sz.height, 70 + sz.area());
        cv::Mat img = src.clone();
        vantorix::apply_clarity_texture(img, adj);
        vantorix::apply_dehaze(img, adj);
        vantorix::apply_noise_reduction(img, adj);
        vantorix::apply_sharpening(img, adj);
        ASSERT_EQ(img.size(), sz);
        for (int y = 0; y < img.rows; ++y)
            for (int x = 0; x < img.cols; ++x) {
                const cv::Vec4f v = img.at<cv::Vec4f>(y, x);
                for (int c = 0; c < 3; ++c) EXPECT_TRUE(std::isfinite(v[c])) << sz;
                EXPECT_EQ(v[3], src.at<cv::Vec4f>(y, x)[3]) << sz;
            }
    }
    cv::Mat empty;
    vantorix::apply_clarity_texture(empty, adj);
    vantorix::apply_dehaze(empty, adj);
    vantorix::apply_noise_reduction(empty, adj);
    vantorix::apply_sharpening(empty, adj);
    EXPECT_TRUE(empty.empty());
}
