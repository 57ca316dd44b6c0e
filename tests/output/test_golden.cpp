// Golden table: SHA-256 of the preview, the four histograms and every export's
// bytes over a fixed matrix of inputs and settings. Faster code paths must keep
// every one of these digests. After a deliberate change of output, regenerate
// with VANTORIX_GOLDEN_UPDATE=1 and say why in the commit.
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

namespace {

using Scalars = std::vector<std::pair<void (*)(EngineContext*, float), float>>;

// A setting: optionally the neutral white balance (6500 K), scalar setters with their values, then other calls.
struct Setting { const char* name; bool neutral; Scalars scalars; void (*other)(EngineContext*) = nullptr; };

#define SET(f, v) {vantorix_set_##f, v}
#define ONE(f, v) {#f, true, {SET(f, v)}}  // on the neutral balance, setting `f` named after its setter

const Setting kSettings[] = {
    {"neutral", true, {}}, {"defaults", false, {}},
    {"white_balance", false, {SET(temperature, 4100.0f), SET(tint, 25.0f)}},
    ONE(exposure, 0.7f), ONE(brightness, 40.0f), ONE(contrast, 35.0f),
    {"highlights_shadows", true, {SET(highlights, -60.0f), SET(shadows, 50.0f)}},
    {"whites_blacks", true, {SET(whites, 30.0f), SET(blacks, -30.0f)}},
    {"curves", true, {}, [](EngineContext* c) {
         const float master[] = {0.0f, 0.0f, 0.25f, 0.18f, 0.75f, 0.85f, 1.0f, 1.0f};
         const float red[] = {0.0f, 0.1f, 0.5f, 0.55f, 1.0f, 0.95f};
         vantorix_set_tone_curve(c, 0, master, 4); vantorix_set_tone_curve(c, 1, red, 3); }},
    ONE(clarity, 40.0f), ONE(texture, -30.0f), ONE(dehaze, 45.0f),
    {"saturation_vibrance", true, {SET(saturation, 30.0f), SET(vibrance, -20.0f)}},
    {"hsl", true, {}, [](EngineContext* c) {
         vantorix_set_hsl(c, 0, 10, 20, -10); vantorix_set_hsl(c, 5, -15, -30, 20); }},
    {"split_toning", true, {}, [](EngineContext* c) {
         vantorix_set_split_toning(c, 0, 45.0f, 30.0f, 20.0f); vantorix_set_split_toning(c, 1, 220.0f, 25.0f, 0.0f); }},
    ONE(nr_luminance, 40.0f), ONE(nr_color, 50.0f),
    {"sharpen", true, {SET(sharpening_amount, 60.0f), SET(sharpening_radius, 1.5f), SET(sharpening_threshold, 5.0f)}},
    ONE(distortion, 30.0f), {"ca", true, {SET(ca_correction, 40.0f)}}, ONE(lens_vignette, 50.0f), ONE(defringe, 60.0f),
    ONE(rotation, 7.5f),
    {"flips", true, {}, [](EngineContext* c) { vantorix_set_flip_h(c, 1); vantorix_set_flip_v(c, 1); }},
    {"perspective", true, {SET(perspective_h, 20.0f), SET(perspective_v, -15.0f)}},
    {"crop", true, {}, [](EngineContext* c) { vantorix_set_crop(c, 0.1f, 0.05f, 0.7f, 0.8f); }},
    {"vignette", true, {SET(vignette_amount, -40.0f), SET(vignette_midpoint, 30.0f), SET(vignette_roundness, 20.0f)}},
    {"full_edit", false, {SET(temperature, 5200.0f), SET(exposure, 0.4f), SET(contrast, 20.0f), SET(highlights, -40.0f),
         SET(shadows, 30.0f), SET(saturation, 15.0f), SET(vibrance, 20.0f), SET(clarity, 25.0f), SET(dehaze, 20.0f),
         SET(nr_luminance, 20.0f), SET(nr_color, 25.0f), SET(sharpening_amount, 40.0f), SET(rotation, -3.0f),
         SET(vignette_amount, -25.0f)}, [](EngineContext* c) { vantorix_set_crop(c, 0.05f, 0.05f, 0.9f, 0.85f); }},
};

// A deterministic test picture: gradients, a few shapes and seeded noise.
cv::Mat generated(int w, int h) {
    cv::Mat img(h, w, CV_8UC3), noise(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(255 * x / w), uchar(255 * y / h), uchar((x * y) % 256));
    cv::circle(img, {w / 3, h / 2}, h / 4, {30, 200, 240}, -1);
    cv::rectangle(img, {w / 2, h / 5}, {w - 10, h / 2}, {250, 40, 90}, -1);
    cv::RNG(12345).fill(noise, cv::RNG::UNIFORM, 0, 24);
    return img + noise;
}

struct Input { std::string name, path; int size_level; bool all_settings; };

std::vector<Input> inputs() {
    const cv::Mat bgr = generated(317, 211);
    cv::Mat bgr16, bgra, grey16;
    bgr.convertTo(bgr16, CV_16U, 257.0, 77.0);  // saturates at 65535
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    bgra.col(5).setTo(cv::Scalar(10, 20, 30, 0));
    cv::cvtColor(bgr16, grey16, cv::COLOR_BGR2GRAY);
    std::vector<Input> in;
    auto add = [&](const std::string& name, const cv::Mat& m, std::vector<int> params = {}) {
        testsupport::write_image(testsupport::temp_path(name), m, params);
        in.push_back({name, testsupport::temp_path(name), 1, true});
    };
    add("gen_rgb8.png", bgr);
    add("gen_rgb16.tif", bgr16);
    add("gen_rgba8.png", bgra);
    add("gen_grey16.png", grey16);
    add("gen_q95.jpg", bgr, {cv::IMWRITE_JPEG_QUALITY, 95});
    add("gen_rgb8.bmp", bgr);
    add("gen_lossless.webp", bgr, {cv::IMWRITE_WEBP_QUALITY, 101});
    in.push_back({"sample_crw_level3", testsupport::sample_crw(), 3, false});
    const std::string corpus = testsupport::corpus_dir();
    if (corpus.empty()) return in;
    in.push_back({"sony_slt-a57.jpg", corpus + "/jpeg/sony_slt-a57_DSC8833.JPG", 1, false});
    in.push_back({"canon_sx150is_orient6.jpg", corpus + "/jpeg/canon_sx150is_IMG_1038.JPG", 1, false});
    in.push_back({"kodak_dc50.kdc", corpus + "/raw/kodak_dc50_DC0008L.KDC", 2, false});
    in.push_back({"quicktake100.qtk", corpus + "/raw/apple_quicktake100_TEST100.QTK", 1, false});
    return in;
}

}  // namespace

TEST(Golden, PreviewsHistogramsAndExportsKeepTheirDigests) {
    const std::string dir = testsupport::temp_path("golden");
    ASSERT_EQ(::system(("mkdir -p '" + dir + "'").c_str()), 0);
    testsupport::Context ctx;
    for (const Input& in : inputs()) {
        for (const Setting& s : kSettings) {
            const std::string setting = s.name;
            if (!in.all_settings && setting != "neutral" && setting != "full_edit") continue;
            ASSERT_EQ(vantorix_load_arw(ctx, in.path.c_str(), in.size_level), 0) << in.name << ": "
                                                                                   << vantorix_last_error(ctx);
            if (s.neutral) vantorix_set_temperature(ctx, 6500.0f);
            for (const auto& [set, value] : s.scalars) set(ctx, value);
            if (s.other) s.other(ctx);
            const cv::Mat preview = testsupport::preview_of(ctx);
            const std::string base = dir + "/" + in.name + "." + setting;
            std::vector<uint32_t> hist(4 * 256);
            ASSERT_EQ(vantorix_get_histogram(ctx, &hist[0], &hist[256], &hist[512], &hist[768]), 0);
            std::vector<uint8_t> bytes(preview.datastart, preview.dataend);
            bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(hist.data()),
                         reinterpret_cast<uint8_t*>(hist.data() + hist.size()));
            ASSERT_TRUE(testsupport::write_bytes(base + ".preview+hist", bytes));
            ASSERT_EQ(vantorix_export_jpeg(ctx, (base + ".jpg").c_str(), 90, 0, 1), 0) << vantorix_last_error(ctx);
            ASSERT_EQ(vantorix_export_png(ctx, (base + ".8.png").c_str(), 8), 0);
            ASSERT_EQ(vantorix_export_png(ctx, (base + ".16.png").c_str(), 16), 0);
            ASSERT_EQ(vantorix_export_tiff(ctx, (base + ".tif").c_str()), 0);
        }
    }
    ASSERT_EQ(::system(("cd '" + dir + "' && sha256sum -- * > '" + dir + ".sha256'").c_str()), 0);
    std::map<std::string, std::string> got;  // file name -> SHA-256
    std::ifstream list(dir + ".sha256");
    for (std::string digest, name; list >> digest >> name;) got[name] = digest;
    const std::string table = testsupport::source_dir() + "/tests/data/golden.sha256";
    if (std::getenv("VANTORIX_GOLDEN_UPDATE")) {
        std::ofstream f(table);
        for (const auto& [name, digest] : got) f << digest << "  " << name << "\n";
        GTEST_SKIP() << "wrote " << table;
    }
    std::ifstream f(table);
    int compared = 0;
    for (std::string digest, name; f >> digest >> name;) {
        if (name.find("gen_") != 0 && name.find("sample_") != 0 && testsupport::corpus_dir().empty()) continue;
        EXPECT_EQ(got.count(name) ? got.at(name) : "(not produced)", digest) << name;
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(got.size())) << "the table and the matrix differ";
}
