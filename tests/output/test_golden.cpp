// Golden table: SHA-256 of the preview, the four histograms and every export's
// bytes over a fixed matrix of inputs and settings. Faster code paths must keep
// every one of these digests. After a deliberate change of output, regenerate
// with VANTORIX_GOLDEN_UPDATE=1 and say why in the commit.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

namespace {

using Configure = void (*)(EngineContext*);

void neutral(EngineContext* c) { vantorix_set_temperature(c, 6500.0f); }

const std::vector<std::pair<const char*, Configure>> kSettings = {
    {"neutral", neutral},
    {"defaults", [](EngineContext*) {}},
    {"white_balance", [](EngineContext* c) { vantorix_set_temperature(c, 4100.0f); vantorix_set_tint(c, 25.0f); }},
    {"exposure", [](EngineContext* c) { neutral(c); vantorix_set_exposure(c, 0.7f); }},
    {"brightness", [](EngineContext* c) { neutral(c); vantorix_set_brightness(c, 40.0f); }},
    {"contrast", [](EngineContext* c) { neutral(c); vantorix_set_contrast(c, 35.0f); }},
    {"highlights_shadows", [](EngineContext* c) {
         neutral(c); vantorix_set_highlights(c, -60.0f); vantorix_set_shadows(c, 50.0f); }},
    {"whites_blacks", [](EngineContext* c) { neutral(c); vantorix_set_whites(c, 30.0f); vantorix_set_blacks(c, -30.0f); }},
    {"curves", [](EngineContext* c) {
         neutral(c);
         const float master[] = {0.0f, 0.0f, 0.25f, 0.18f, 0.75f, 0.85f, 1.0f, 1.0f};
         const float red[] = {0.0f, 0.1f, 0.5f, 0.55f, 1.0f, 0.95f};
         vantorix_set_tone_curve(c, 0, master, 4);
         vantorix_set_tone_curve(c, 1, red, 3); }},
    {"clarity", [](EngineContext* c) { neutral(c); vantorix_set_clarity(c, 40.0f); }},
    {"texture", [](EngineContext* c) { neutral(c); vantorix_set_texture(c, -30.0f); }},
    {"dehaze", [](EngineContext* c) { neutral(c); vantorix_set_dehaze(c, 45.0f); }},
    {"saturation_vibrance", [](EngineContext* c) {
         neutral(c); vantorix_set_saturation(c, 30.0f); vantorix_set_vibrance(c, -20.0f); }},
    {"hsl", [](EngineContext* c) {
         neutral(c); vantorix_set_hsl(c, 0, 10.0f, 20.0f, -10.0f); vantorix_set_hsl(c, 5, -15.0f, -30.0f, 20.0f); }},
    {"split_toning", [](EngineContext* c) {
         neutral(c);
         vantorix_set_split_toning(c, 0, 45.0f, 30.0f, 20.0f);
         vantorix_set_split_toning(c, 1, 220.0f, 25.0f, 0.0f); }},
    {"nr_luminance", [](EngineContext* c) { neutral(c); vantorix_set_nr_luminance(c, 40.0f); }},
    {"nr_color", [](EngineContext* c) { neutral(c); vantorix_set_nr_color(c, 50.0f); }},
    {"sharpen", [](EngineContext* c) {
         neutral(c); vantorix_set_sharpening_amount(c, 60.0f); vantorix_set_sharpening_radius(c, 1.5f);
         vantorix_set_sharpening_threshold(c, 5.0f); }},
    {"distortion", [](EngineContext* c) { neutral(c); vantorix_set_distortion(c, 30.0f); }},
    {"ca", [](EngineContext* c) { neutral(c); vantorix_set_ca_correction(c, 40.0f); }},
    {"lens_vignette", [](EngineContext* c) { neutral(c); vantorix_set_lens_vignette(c, 50.0f); }},
    {"defringe", [](EngineContext* c) { neutral(c); vantorix_set_defringe(c, 60.0f); }},
    {"rotation", [](EngineContext* c) { neutral(c); vantorix_set_rotation(c, 7.5f); }},
    {"flips", [](EngineContext* c) { neutral(c); vantorix_set_flip_h(c, 1); vantorix_set_flip_v(c, 1); }},
    {"perspective", [](EngineContext* c) {
         neutral(c); vantorix_set_perspective_h(c, 20.0f); vantorix_set_perspective_v(c, -15.0f); }},
    {"crop", [](EngineContext* c) { neutral(c); vantorix_set_crop(c, 0.1f, 0.05f, 0.7f, 0.8f); }},
    {"vignette", [](EngineContext* c) {
         neutral(c); vantorix_set_vignette_amount(c, -40.0f); vantorix_set_vignette_midpoint(c, 30.0f);
         vantorix_set_vignette_roundness(c, 20.0f); }},
    {"full_edit", [](EngineContext* c) {
         vantorix_set_temperature(c, 5200.0f); vantorix_set_exposure(c, 0.4f); vantorix_set_contrast(c, 20.0f);
         vantorix_set_highlights(c, -40.0f); vantorix_set_shadows(c, 30.0f); vantorix_set_saturation(c, 15.0f);
         vantorix_set_vibrance(c, 20.0f); vantorix_set_clarity(c, 25.0f); vantorix_set_dehaze(c, 20.0f);
         vantorix_set_nr_luminance(c, 20.0f); vantorix_set_nr_color(c, 25.0f);
         vantorix_set_sharpening_amount(c, 40.0f); vantorix_set_rotation(c, -3.0f);
         vantorix_set_vignette_amount(c, -25.0f); vantorix_set_crop(c, 0.05f, 0.05f, 0.9f, 0.85f); }},
};

// A deterministic test picture: gradients, a few shapes and seeded noise.
cv::Mat generated(int w, int h) {
    cv::Mat img(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(255 * x / w), uchar(255 * y / h), uchar((x * y) % 256));
    cv::circle(img, {w / 3, h / 2}, h / 4, {30, 200, 240}, -1);
    cv::rectangle(img, {w / 2, h / 5}, {w - 10, h / 2}, {250, 40, 90}, -1);
    cv::Mat noise(h, w, CV_8UC3);
    cv::RNG rng(12345);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 24);
    return img + noise;
}

struct Input {
    std::string name, path;
    int size_level;
    bool all_settings;
};

std::vector<Input> inputs() {
    const cv::Mat bgr = generated(317, 211);
    cv::Mat bgr16, bgra, grey16;
    bgr.convertTo(bgr16, CV_16U, 257.0);
    bgr16 += cv::Scalar::all(77);
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
    in.push_back({"sample_crw_level3", testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW", 3,
                  false});
    const std::string corpus = testsupport::corpus_dir();
    if (!corpus.empty()) {
        in.push_back({"sony_slt-a57.jpg", corpus + "/jpeg/sony_slt-a57_DSC8833.JPG", 1, false});
        in.push_back({"canon_sx150is_orient6.jpg", corpus + "/jpeg/canon_sx150is_IMG_1038.JPG", 1, false});
        in.push_back({"kodak_dc50.kdc", corpus + "/raw/kodak_dc50_DC0008L.KDC", 2, false});
        in.push_back({"quicktake100.qtk", corpus + "/raw/apple_quicktake100_TEST100.QTK", 1, false});
    }
    return in;
}

std::map<std::string, std::string> digests(const std::string& dir) {
    std::map<std::string, std::string> out;
    FILE* p = ::popen(("cd '" + dir + "' && sha256sum -- *").c_str(), "r");
    if (!p) return out;
    char line[1024];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        if (s.size() > 66) out[s.substr(66, s.find_last_not_of("\n") - 65)] = s.substr(0, 64);
    }
    ::pclose(p);
    return out;
}

}  // namespace

TEST(Golden, PreviewsHistogramsAndExportsKeepTheirDigests) {
    const std::string dir = testsupport::temp_path("golden");
    ASSERT_EQ(::system(("mkdir -p '" + dir + "'").c_str()), 0);
    testsupport::Context ctx;
    for (const Input& in : inputs()) {
        for (const auto& [setting, configure] : kSettings) {
            if (!in.all_settings && std::string(setting) != "neutral" && std::string(setting) != "full_edit") continue;
            ASSERT_EQ(vantorix_load_arw(ctx, in.path.c_str(), in.size_level), 0) << in.name << ": "
                                                                                   << vantorix_last_error(ctx);
            configure(ctx);
            const cv::Mat preview = testsupport::preview_of(ctx);
            ASSERT_FALSE(preview.empty()) << in.name << " " << setting;
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
    const auto got = digests(dir);
    const std::string table = testsupport::source_dir() + "/tests/data/golden.sha256";
    if (std::getenv("VANTORIX_GOLDEN_UPDATE")) {
        std::ofstream f(table);
        for (const auto& [name, digest] : got) f << digest << "  " << name << "\n";
        GTEST_SKIP() << "wrote " << table;
    }
    std::ifstream f(table);
    std::string digest, name;
    int compared = 0;
    while (f >> digest >> name) {
        if (name.find("gen_") != 0 && name.find("sample_") != 0 && testsupport::corpus_dir().empty()) continue;
        auto it = got.find(name);
        ASSERT_NE(it, got.end()) << name << " was not produced";
        EXPECT_EQ(it->second, digest) << name;
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(got.size())) << "the table and the matrix differ";
}
