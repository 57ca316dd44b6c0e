// The command-line tool's tone and colour options.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

namespace {

cv::Mat source_bgr() {
    cv::Mat bgr(8, 16, CV_8UC3);
    cv::RNG rng(77);
    rng.fill(bgr, cv::RNG::UNIFORM, 0, 256);
    for (int x = 0; x < 16; ++x) bgr.at<cv::Vec3b>(0, x) = cv::Vec3b::all(static_cast<uchar>(x * 17));
    return bgr;
}

const std::string& input_path() {
    static const std::string path = [] {
        const std::string p = testsupport::temp_path("tone_cli_in.png");
        cv::imwrite(p, source_bgr());
        return p;
    }();
    return path;
}

// Runs `vantorix develop IN OUT.tif <options>`; returns the image read back
// (RGB order) or an empty matrix, and the exit status.
cv::Mat cli_develop(const std::string& options, int* status, std::string* err = nullptr) {
    static int counter = 0;
    const std::string out = testsupport::temp_path("tone_cli_out_" + std::to_string(counter++) + ".tif");
    *status = testsupport::run_cli("develop '" + input_path() + "' '" + out + "' " + options, nullptr, err);
    cv::Mat bgr = cv::imread(out, cv::IMREAD_UNCHANGED), rgb;
    if (!bgr.empty()) cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

struct OptionCase {
    const char* options;
    void (*configure)(EngineContext*);
};

}  // namespace

// Each run combines several options with distinct values, so a wrong mapping
// of any one of them changes the result (process start-up is the cost here).
TEST(ToneColorCli, EveryOptionReachesTheEngine) {
    const OptionCase cases[] = {
        {"--temperature 7200 --tint 30 --exposure -0.75 --highlights -60 --shadows 45 --whites 30 --blacks 25",
         [](EngineContext* c) {
             vantorix_set_temperature(c, 7200);
             vantorix_set_tint(c, 30);
             vantorix_set_exposure(c, -0.75f);
             vantorix_set_highlights(c, -60);
             vantorix_set_shadows(c, 45);
             vantorix_set_whites(c, 30);
             vantorix_set_blacks(c, 25);
         }},
        {"--saturation -70 --vibrance 40 --curve 'master:0,0.1;1,0.9' --curve 'red:0,0;0.5,0.7;1,1' "
         "--curve 'green:0,0.2;1,1' --curve 'blue:0,1;1,0'",
         [](EngineContext* c) {
             vantorix_set_saturation(c, -70);
             vantorix_set_vibrance(c, 40);
             const float m[] = {0, 0.1f, 1, 0.9f}, r[] = {0, 0, 0.5f, 0.7f, 1, 1}, g[] = {0, 0.2f, 1, 1},
                         b[] = {0, 1, 1, 0};
             vantorix_set_tone_curve(c, 0, m, 2);
             vantorix_set_tone_curve(c, 1, r, 3);
             vantorix_set_tone_curve(c, 2, g, 2);
             vantorix_set_tone_curve(c, 3, b, 2);
         }},
        // Every band name, and an index.
        {"--temperature 6500 --hsl red:30,20,-10 --hsl orange:-20,40,10 --hsl yellow:15,-30,20 "
         "--hsl green:-45,60,-20 --hsl aqua:90,100,0 --hsl blue:-40,-60,30 --hsl purple:25,-15,-35 "
         "--hsl magenta:0,-100,50 --hsl 2:5,-35,25",
         [](EngineContext* c) {
             vantorix_set_temperature(c, 6500);
             vantorix_set_hsl(c, 0, 30, 20, -10);
             vantorix_set_hsl(c, 1, -20, 40, 10);
             vantorix_set_hsl(c, 3, -45, 60, -20);
             vantorix_set_hsl(c, 4, 90, 100, 0);
             vantorix_set_hsl(c, 5, -40, -60, 30);
             vantorix_set_hsl(c, 6, 25, -15, -35);
             vantorix_set_hsl(c, 7, 0, -100, 50);
             vantorix_set_hsl(c, 2, 5, -35, 25);
         }},
        {"--split-balance -40 --split-shadows 200,50 --split-highlights 30,70",
         [](EngineContext* c) {
             vantorix_set_split_toning(c, 0, 30, 70, -40);
             vantorix_set_split_toning(c, 1, 200, 50, 0);
         }},
        {"--temperature 0", [](EngineContext* c) { vantorix_set_temperature(c, 0); }},
    };
    int status = -1;
    const cv::Mat plain = cli_develop("", &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(same(plain, testsupport::develop_via_tiff(source_bgr(), nullptr)));
    for (const OptionCase& oc : cases) {
        std::string err;
        const cv::Mat got = cli_develop(oc.options, &status, &err);
        ASSERT_EQ(status, 0) << oc.options << ": " << err;
        const cv::Mat want = testsupport::develop_via_tiff(source_bgr(), oc.configure);
        ASSERT_FALSE(want.empty());
        EXPECT_TRUE(same(got, want)) << oc.options;
        EXPECT_FALSE(same(got, plain)) << oc.options << " had no effect";
    }
}

TEST(ToneColorCli, MalformedOrUnknownOptionsAreUsageErrors) {
    struct Bad {
        const char* options;
        const char* message;
    } cases[] = {
        {"--frobnicate 3", "unknown option --frobnicate"},
        {"--temperature", "option --temperature needs a value"},
        {"--tint 5x", "bad value for --tint: '5x'"},
        {"--exposure nan", "bad value for --exposure: 'nan'"},
        {"--curve 'luma:0,0;1,1'", "bad value for --curve: 'luma:0,0;1,1'"},
        {"--curve 'master:0,0'", "bad value for --curve: 'master:0,0'"},
        {"--hsl 8:1,2,3", "bad value for --hsl: '8:1,2,3'"},
        {"--hsl pink:1,2,3", "bad value for --hsl: 'pink:1,2,3'"},
        {"--split-shadows 30", "bad value for --split-shadows: '30'"},
    };
    for (const Bad& b : cases) {
        std::string err;
        int status = -1;
        const cv::Mat out = cli_develop(b.options, &status, &err);
        EXPECT_EQ(status, 2) << b.options;
        EXPECT_TRUE(out.empty()) << b.options;
        EXPECT_NE(err.find(std::string("vantorix: ") + b.message), std::string::npos) << b.options << "\n" << err;
        EXPECT_NE(err.find("usage:"), std::string::npos) << b.options;
    }
}
