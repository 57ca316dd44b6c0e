// The command-line tool: every develop option gives the library's result for
// the same setting; output options and cutout; usage and engine errors; the
// defaults; the level finder and seeds; batches and saved edits.

#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "support/test_support.h"
#include "support/tiff_writer.h"

using testsupport::Context;
using testsupport::q;
using testsupport::run_cli;
using testsupport::temp_path;

namespace {

using Configure = std::function<void(EngineContext*)>;

// A small picture with a tilted horizon, a bright disc and a black block.
std::string sample_picture() {
    static const std::string path = [] {
        cv::Mat img(240, 360, CV_8UC3, cv::Scalar(235, 215, 190));
        cv::fillPoly(img, std::vector<std::vector<cv::Point>>{{{0, 113}, {360, 130}, {360, 240}, {0, 240}}}, cv::Scalar(30, 80, 50));
        cv::circle(img, cv::Point(260, 73), 27, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::rectangle(img, cv::Rect(40, 160, 80, 53), cv::Scalar(0, 0, 0), cv::FILLED);
        testsupport::write_image(temp_path("cli_sample.png"), img);
        return temp_path("cli_sample.png");
    }();
    return path;
}

// The library's TIFF of the sample with `configure` applied after loading and
// after the tool's neutral white balance.
std::vector<uint8_t> library_tiff(const Configure& configure) {
    Context ctx;
    EXPECT_EQ(vantorix_load_arw(ctx, sample_picture().c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500.0f);
    configure(ctx);
    EXPECT_EQ(vantorix_export_tiff(ctx, temp_path("cli_library.tif").c_str()), 0);  // develops first
    return testsupport::read_bytes(temp_path("cli_library.tif"));
}

void apply_auto_enhance(EngineContext* c) {
    AutoEnhanceResult r{};
    ASSERT_EQ(vantorix_auto_enhance(c, &r), 0);
    void (*const setters[19])(EngineContext*, float) = {
        vantorix_set_exposure, vantorix_set_brightness, vantorix_set_contrast, vantorix_set_highlights,
        vantorix_set_shadows, vantorix_set_whites, vantorix_set_blacks, vantorix_set_temperature, vantorix_set_tint,
        vantorix_set_saturation, vantorix_set_vibrance, vantorix_set_sharpening_amount, vantorix_set_sharpening_radius,
        vantorix_set_sharpening_threshold, vantorix_set_nr_luminance, vantorix_set_nr_color, vantorix_set_clarity,
        vantorix_set_texture, vantorix_set_dehaze};
    for (int i = 0; i < 19; ++i) setters[i](c, r.slots[i]);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Cli, EveryDevelopOptionMatchesTheLibrary) {
    auto set = [](void (*setter)(EngineContext*, float), float v) { return Configure([=](EngineContext* c) { setter(c, v); }); };
    const std::pair<std::string, Configure> rows[] = {
        {"--exposure 0.5", set(vantorix_set_exposure, 0.5f)},        {"--brightness 30", set(vantorix_set_brightness, 30)},
        {"--contrast 25", set(vantorix_set_contrast, 25)},            {"--highlights -40", set(vantorix_set_highlights, -40)},
        {"--shadows 30", set(vantorix_set_shadows, 30)},              {"--whites 20", set(vantorix_set_whites, 20)},
        {"--blacks 10", set(vantorix_set_blacks, 10)},                {"--temperature 4000", set(vantorix_set_temperature, 4000)},
        {"--tint 20", set(vantorix_set_tint, 20)},                    {"--saturation 40", set(vantorix_set_saturation, 40)},
        {"--vibrance 30", set(vantorix_set_vibrance, 30)},            {"--clarity 50", set(vantorix_set_clarity, 50)},
        {"--texture 40", set(vantorix_set_texture, 40)},              {"--dehaze 30", set(vantorix_set_dehaze, 30)},
        {"--nr-luminance 40", set(vantorix_set_nr_luminance, 40)},    {"--nr-color 30", set(vantorix_set_nr_color, 30)},
        {"--distortion 20", set(vantorix_set_distortion, 20)},        {"--ca 50", set(vantorix_set_ca_correction, 50)},
        {"--lens-vignette 40", set(vantorix_set_lens_vignette, 40)},  {"--defringe 60", set(vantorix_set_defringe, 60)},
        {"--rotate 5", set(vantorix_set_rotation, 5)},                {"--perspective-h 20", set(vantorix_set_perspective_h, 20)},
        {"--perspective-v -20", set(vantorix_set_perspective_v, -20)}, {"--grain 0,60", set(vantorix_set_grain_size, 60)},
        {"--sharpen 80", set(vantorix_set_sharpening_amount, 80)},   {"--bg-blur 0 --clarity 1e-40", set(vantorix_set_clarity, 1e-40f)},
        {"--flip-h --flip-v", [](EngineContext* c) { vantorix_set_flip_h(c, 1), vantorix_set_flip_v(c, 1); }},
        {"--sharpen 80,2,10", [](EngineContext* c) { vantorix_set_sharpening_amount(c, 80), vantorix_set_sharpening_radius(c, 2), vantorix_set_sharpening_threshold(c, 10); }},
        {"--crop 0.1,0.2,0.5,0.6", [](EngineContext* c) { vantorix_set_crop(c, 0.1f, 0.2f, 0.5f, 0.6f); }},
        {"--vignette -40,30,20", [](EngineContext* c) { vantorix_set_vignette_amount(c, -40), vantorix_set_vignette_midpoint(c, 30), vantorix_set_vignette_roundness(c, 20); }},
        {"--curve 'red:0,0.1;0.5,0.6;1,0.9'", [](EngineContext* c) { const float p[] = {0, 0.1f, 0.5f, 0.6f, 1, 0.9f}; vantorix_set_tone_curve(c, 1, p, 3); }},
        {"--hsl blue:20,-30,10 --hsl 0:5,5,5", [](EngineContext* c) { vantorix_set_hsl(c, 5, 20, -30, 10), vantorix_set_hsl(c, 0, 5, 5, 5); }},
        {"--split-highlights 40,30 --split-shadows 220,40 --split-balance 20",
         [](EngineContext* c) { vantorix_set_split_toning(c, 0, 40, 30, 20), vantorix_set_split_toning(c, 1, 220, 40, 0); }},
        {"--auto", apply_auto_enhance},
        {"--exposure 0.5 --auto", [](EngineContext* c) { apply_auto_enhance(c), vantorix_set_exposure(c, 0.5f); }},
        {"--auto-straighten --auto-crop", [](EngineContext* c) {
             float a, confidence, x, y, w, h;
             const int level = vantorix_auto_level(c, &a, &confidence);
             ASSERT_TRUE(level >= 0 && vantorix_auto_crop(c, &x, &y, &w, &h) == 0);
             if (level == 0) vantorix_set_rotation(c, a);
             vantorix_set_crop(c, x, y, w, h);
         }},
    };
    const std::string out = temp_path("cli_option.tif");
    for (const auto& [args, configure] : rows) {
        std::string err;
        ASSERT_EQ(run_cli("develop " + q(sample_picture()) + " " + q(out) + " " + args, nullptr, &err), 0) << args << ": " << err;
        EXPECT_EQ(testsupport::read_bytes(out), library_tiff(configure)) << args;
    }
    EXPECT_NE(library_tiff([](EngineContext*) {}), library_tiff(set(vantorix_set_contrast, 25)));
}

// --quality and --bits reach the encoders; cutout writes the library's subject PNG.
TEST(Cli, OutputOptionsAndCutoutMatchTheLibrary) {
    std::string err;
    const std::string jpg = temp_path("cli_q.jpg"), png = temp_path("cli_16.png"), disc = temp_path("cli_disc.png");
    testsupport::write_image(disc, testsupport::disc_image(120, 90, {45, 50}, 20));
    ASSERT_EQ(run_cli("develop " + q(sample_picture()) + " " + q(jpg) + " --quality 40", nullptr, &err), 0) << err;
    ASSERT_EQ(run_cli("develop " + q(sample_picture()) + " " + q(png) + " --bits 16", nullptr, &err), 0) << err;
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, sample_picture().c_str(), 1), 0);
    vantorix_set_temperature(ctx, 6500.0f);
    ASSERT_TRUE(vantorix_export_jpeg(ctx, temp_path("l.jpg").c_str(), 40, 0, 0) == 0 && vantorix_export_png(ctx, temp_path("l.png").c_str(), 16) == 0);
    EXPECT_TRUE(testsupport::read_bytes(jpg) == testsupport::read_bytes(temp_path("l.jpg")) &&
                testsupport::read_bytes(png) == testsupport::read_bytes(temp_path("l.png")));
    ASSERT_EQ(run_cli("cutout " + q(disc) + " " + q(png) + " --center 0.375,0.55 --brightness -25", nullptr, &err), 0) << err;
    ASSERT_TRUE(vantorix_load_arw(ctx, disc.c_str(), 1) == 0 && vantorix_segment_subject(ctx, 0.375f, 0.55f) == 0);
    vantorix_set_temperature(ctx, 6500.0f), vantorix_set_brightness(ctx, -25);
    ASSERT_EQ(vantorix_export_subject_png(ctx, temp_path("l.png").c_str()), 0);
    EXPECT_EQ(testsupport::read_bytes(png), testsupport::read_bytes(temp_path("l.png")));
}

TEST(Cli, UsageAndEngineErrors) {
    const std::string in = q(sample_picture()), out = q(temp_path("never.png")), missing = temp_path("missing.cr2");
    const std::string dev = "develop " + in + " " + out + " ";
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"", 2, "missing command"}, {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"develop", 2, "develop needs an input and an output file"}, {dev + "--brightness", 2, "option --brightness needs a value"},
        {dev + "--brightness lots", 2, "bad value for --brightness: 'lots'"}, {dev + "--crop ' 0.1,0,1,1'", 2, "bad value for --crop"},
        {dev + "--crop 0.1,0,1", 2, "bad value for --crop"}, {dev + "--sharpen 1,2,3,4", 2, "bad value for --sharpen"},
        {dev + "--bits 12", 2, "bad value for --bits"}, {dev + "--hsl violet:1,2,3", 2, "bad value for --hsl"},
        {dev + "--curve 'master:0,0'", 2, "bad value for --curve"}, {dev + "--quality 9x", 2, "bad value for --quality"},
        {dev + "--no-such-option 1", 2, "unknown option --no-such-option"}, {"develop " + q(missing) + " " + out, 1, "LibRaw open_file failed: "},
        {"auto", 2, "auto needs one input file"}, {"auto " + in + " --bogus", 2, "unknown option --bogus"},
        {"auto " + q(missing), 1, "cannot load"}, {"cutout " + in, 2, "cutout needs an input file and an output .png file"},
        {"cutout " + in + " " + q(temp_path("x.jpg")), 2, "the output name must end in .png"},
        {"cutout " + in + " " + out + " --bg-blur 30", 2, "--bg-blur has no effect on a cut-out"},
        {"cutout " + in + " " + out + " --center 0.5", 2, "bad value for --center"},
        {"thumb " + in, 2, "thumb needs an input file and an output file"}, {"phash --fast " + in, 2, "unknown option for phash: --fast"},
        {"dupes", 2, "dupes needs one folder"}, {"dupes " + in, 1, sample_picture() + " is not a folder"},
        {"dupes " + q(testsupport::temp_dir()) + " --max-distance 65", 2, "--max-distance needs a whole number from 0 to 64"},
        {"info", 2, "info needs at least one file"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(run_cli(c.args, nullptr, &err), c.status) << c.args;
        EXPECT_TRUE(contains(err, c.message)) << c.args << ": " << err;
        if (c.status == 2) { EXPECT_TRUE(contains(err, "usage")) << c.args; }
    }
    std::string version;
    EXPECT_TRUE(testsupport::read_bytes(temp_path("never.png")).empty());
    EXPECT_TRUE(run_cli("version", &version) == 0 && version == "vantorix 1.0.0\n") << version;
}

// The command-line tool's defaults: a development without options gives the
// picture back unchanged, and `info` shows camera texts without the blanks
// cameras pad them with, in text and JSON alike.
TEST(CliDefaults, DevelopWithoutOptionsGivesThePictureBack) {
    cv::Mat bgr;
    testsupport::random_image(37, 23, 7).convertTo(bgr, CV_8U, 255.0);  // CV_8UC4 with random alpha
    cv::cvtColor(bgr, bgr, cv::COLOR_BGRA2BGR);
    const std::string in = temp_path("neutral-in.png");
    testsupport::write_image(in, bgr);
    const struct {
        std::string options;
        bool unchanged;
    } rows[] = {
        {"", true},
        {" --temperature 6500", true},
        {" --temperature 5500", false},  // the library's own default warms the picture
    };
    for (const auto& row : rows) {
        const std::string out = temp_path("neutral-out.png");
        std::string err;
        ASSERT_EQ(run_cli("develop " + in + " " + out + row.options, nullptr, &err), 0) << err;
        EXPECT_EQ(err, "") << row.options;
        const cv::Mat back = cv::imread(out, cv::IMREAD_UNCHANGED);
        EXPECT_EQ(testsupport::identical(back, bgr), row.unchanged) << "options:" << row.options;
    }
}

TEST(CliDefaults, InfoTrimsTrailingBlanksInTextAndJson) {
    testsupport::ExifBlock block;
    block.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Canon   ").ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "EOS 5D\t \t");
    const std::string jpg = testsupport::write_exif_jpeg("padded.jpg", block);
    std::string text, json;
    ASSERT_EQ(run_cli("info " + jpg, &text), 0);
    ASSERT_EQ(run_cli("info --json " + jpg, &json), 0);
    const char* const expected[] = {"  make           Canon\n", "  model          EOS 5D\n"};
    for (const char* line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
    const char* const fields[] = {"\"make\": \"Canon\",", "\"model\": \"EOS 5D\","};
    for (const char* field : fields) EXPECT_NE(json.find(field), std::string::npos) << field << " in:\n" << json;
}

// The command line's use of the level finder and the segmentation seeds.

TEST(LevelSeedCli, LevelDeclinesAndSeeds) {
    const std::string flat = testsupport::temp_path("cli_flat.png"), in = testsupport::temp_path("cli_seed.png");
    testsupport::write_image(flat, cv::Mat(300, 400, CV_8UC3, cv::Scalar(30, 120, 90)));
    cv::Mat img(240, 320, CV_8UC3);
    cv::RNG(2).fill(img, cv::RNG::UNIFORM, 100, 160);
    cv::ellipse(img, {230, 110}, {70, 55}, 0, 0, 360, cv::Scalar(40, 110, 220), cv::FILLED);
    testsupport::write_image(in, img);
    const std::string out = testsupport::temp_path("cli_seed_out.png");
    std::string text, err;
    ASSERT_EQ(run_cli("auto '" + flat + "' --json", &text, &err), 0) << err;
    EXPECT_NE(text.find("\"level\": {\"status\": \"no evidence\", \"rotation\": 0, \"confidence\": 0}"), std::string::npos);
    ASSERT_EQ(run_cli("develop '" + flat + "' '" + out + "' --auto-straighten", nullptr, &err), 0) << err;
    EXPECT_NE(err.find("auto straighten declined (no evidence); the rotation stays as it was"), std::string::npos) << err;

    ASSERT_EQ(run_cli("cutout '" + in + "' '" + out + "'", nullptr, &err), 0) << err;  // the automatic seed
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject_auto(ctx), 0);
    cv::Mat mask(240, 320, CV_8UC1), alpha;
    ASSERT_EQ(vantorix_get_mask(ctx, mask.data, static_cast<int>(mask.total())), 0);
    cv::extractChannel(cv::imread(out, cv::IMREAD_UNCHANGED), alpha, 3);
    EXPECT_TRUE(testsupport::identical(alpha, mask));
    EXPECT_EQ(run_cli("cutout '" + in + "' '" + out + "' --center 0.5,0.5 --box 0,0,1,1", nullptr, &err), 2);
    EXPECT_NE(err.find("--center and --box cannot be used together"), std::string::npos) << err;
    EXPECT_EQ(run_cli("develop '" + in + "' '" + out + "' --bg-blur 30 --box 1.5,0,0.5,0.5", nullptr, &err), 1);
    EXPECT_NE(err.find("subject box is empty or outside the image"), std::string::npos) << err;
}

// `develop IN... --out-dir`, and edits saved and applied as documents.

namespace {

using testsupport::read_bytes;

std::string photo(const std::string& name, int seed) {
    cv::Mat bgr(60, 80, CV_8UC3);
    cv::RNG(seed).fill(bgr, cv::RNG::UNIFORM, 0, 256);
    testsupport::write_image(temp_path(name), bgr);
    return temp_path(name);
}

}  // namespace

TEST(BatchCli, FailedFileIsReportedAndTheRestDeveloped) {
    const std::string a = photo("batch_a.png", 1), b = photo("batch_b.png", 2), broken = temp_path("batch_broken.jpg");
    testsupport::write_bytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    const std::string dir = temp_path("batch_out"), out_a = dir + "/batch_a.png", out_b = dir + "/batch_b.png";
    std::string out, err;
    const auto develop = [&](const std::string& args) {
        return run_cli("develop " + args + " --out-dir " + q(dir) + " --format png", &out, &err);
    };
    EXPECT_EQ(develop(q(a) + " " + q(broken) + " " + q(b) + " --jobs 2 --exposure 0.5"), 1);
    EXPECT_TRUE(contains(out, "developed 2 of 3 files") && contains(out, "1 failed: " + broken)) << out;
    EXPECT_TRUE(contains(err, "vantorix: " + broken + ": cannot load: OpenCV could not read")) << err;
    EXPECT_FALSE(contains(err, "\r")) << "no progress line when stderr is not a terminal";
    const auto first_a = read_bytes(out_a), first_b = read_bytes(out_b);
    EXPECT_FALSE(first_a.empty() || first_b.empty());
    struct stat st {};
    EXPECT_NE(::stat((dir + "/batch_broken.png").c_str(), &st), 0);

    // Same outputs again: refused file by file unless --overwrite.
    testsupport::write_bytes(out_b, {'k', 'e', 'e', 'p'});
    EXPECT_EQ(develop(q(a) + " " + q(b) + " --quiet"), 1);
    EXPECT_TRUE(contains(err, out_b + " exists")) << err;
    EXPECT_EQ(read_bytes(out_b), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(read_bytes(out_a), first_a);
    EXPECT_EQ(develop(q(b) + " --overwrite --exposure 0.5"), 0) << err;
    EXPECT_EQ(read_bytes(out_b), first_b);
}

TEST(EditCli, SavedEditReproducesTheDevelopmentAndOptionsOverrideIt) {
    const std::string in = photo("edit_in.png", 3), edit = temp_path("edit.json"), proposed = temp_path("edit_a.json");
    std::string err;
    // Develops `in` to temp_path(name) and returns the file's bytes.
    const auto develop = [&](const char* name, const std::string& options, int code = 0) {
        EXPECT_EQ(run_cli("develop " + q(in) + " " + q(temp_path(name)) + " " + options, nullptr, &err), code) << err;
        return read_bytes(temp_path(name));
    };
    const auto direct = develop("edit_0.png", "--auto-crop --contrast 30 --hsl blue:10,20,-5 --save-edit " + q(edit));
    const std::vector<uint8_t> doc = read_bytes(edit);
    EXPECT_TRUE(contains(std::string(doc.begin(), doc.end()), "\"contrast\": 30,"));
    EXPECT_EQ(develop("edit_again.png", "--edit " + q(edit)), direct);
    // Explicit options win over the document.
    EXPECT_EQ(develop("edit_overridden.png", "--edit " + q(edit) + " --contrast 0"),
              develop("edit_plain.png", "--auto-crop --hsl blue:10,20,-5"));

    // auto --save-edit writes what develop's automatic options would apply.
    ASSERT_EQ(run_cli("auto " + q(in) + " --save-edit " + q(proposed), nullptr, &err), 0) << err;
    EXPECT_EQ(develop("edit_auto_edit.png", "--edit " + q(proposed)),
              develop("edit_auto_direct.png", "--auto --auto-straighten --auto-crop"));

    // A refused document: exit 1 and the engine's message naming the key.
    testsupport::write_bytes(edit, {'{', '"', 'v', 'a', 'n', 't', 'o', 'r', 'i', 'x', '"', ':', '9', '}'});
    develop("edit_refused.png", "--edit " + q(edit), 1);
    EXPECT_TRUE(contains(err, "\"vantorix\" is version 9")) << err;
}
