// The C interface as a whole: failure codes and messages of every entry
// point, the settings record, and contexts used on several threads.
#include <dlfcn.h>

#include <thread>

#include "engine/context.h"
#include "engine/image_buffer.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::temp_path;

namespace {

uint8_t g_bytes[64];
uint32_t g_hist[4][256];
float g_f[4];
ExifSummary g_exif;
AutoEnhanceResult g_enhance;

// Every entry point that takes a context, with (null_arg) one required pointer left out,
// and its message when no image is loaded.
const struct {
    const char* name;
    int (*call)(EngineContext*, bool null_arg);
    const char* unloaded;
} kCalls[] = {
    {"process", [](EngineContext* c, bool) { return vantorix_process(c); }, "no image loaded"},
    {"preview", [](EngineContext* c, bool n) { return vantorix_get_preview(c, n ? nullptr : g_bytes, 64); }, "no image loaded"},
    {"histogram", [](EngineContext* c, bool n) { return vantorix_get_histogram(c, g_hist[0], n ? nullptr : g_hist[1], g_hist[2], g_hist[3]); }, "no image loaded"},
    {"export jpeg", [](EngineContext* c, bool n) { return vantorix_export_jpeg(c, n ? nullptr : temp_path("f.jpg").c_str(), 90, 0, 1); }, "no image loaded"},
    {"export png", [](EngineContext* c, bool n) { return vantorix_export_png(c, n ? nullptr : temp_path("f.png").c_str(), 16); }, "no image loaded"},
    {"export tiff", [](EngineContext* c, bool n) { return vantorix_export_tiff(c, n ? nullptr : temp_path("f.tif").c_str()); }, "no image loaded"},
    {"exif", [](EngineContext* c, bool n) { return vantorix_get_exif(c, n ? nullptr : &g_exif); }, "no file loaded"},
    {"auto exposure", [](EngineContext* c, bool n) { return vantorix_auto_exposure(c, n ? nullptr : g_f); }, "no image loaded"},
    {"auto white balance", [](EngineContext* c, bool n) { return vantorix_auto_white_balance(c, g_f, n ? nullptr : g_f + 1); }, "no image loaded"},
    {"auto enhance", [](EngineContext* c, bool n) { return vantorix_auto_enhance(c, n ? nullptr : &g_enhance); }, "no image loaded"},
    {"auto straighten", [](EngineContext* c, bool n) { return vantorix_auto_straighten(c, n ? nullptr : g_f); }, "no image loaded"},
    {"auto crop", [](EngineContext* c, bool n) { return vantorix_auto_crop(c, g_f, g_f + 1, n ? nullptr : g_f + 2, g_f + 3); }, "no image loaded"},
    {"segment", [](EngineContext* c, bool) { return vantorix_segment_subject(c, -1, -1); }, "no image loaded"},
    {"mask", [](EngineContext* c, bool n) { return vantorix_get_mask(c, n ? nullptr : g_bytes, 64); }, "no segmentation mask \xE2\x80\x94 call vantorix_segment_subject first"},
    {"subject png", [](EngineContext* c, bool n) { return vantorix_export_subject_png(c, n ? nullptr : temp_path("s.png").c_str()); }, "no segmentation mask"},
    {"load", [](EngineContext* c, bool n) { return vantorix_load_arw(c, n ? nullptr : temp_path("missing.png").c_str(), 1); }, nullptr},
};

}  // namespace

TEST(Api, FailuresOfEveryEntryPoint) {
    EXPECT_STREQ(vantorix_last_error(nullptr), "null context");
    EXPECT_EQ(vantorix_get_width(nullptr) + vantorix_get_height(nullptr), 0);
    Context loaded;
    testsupport::load_image(loaded, cv::Mat(16, 16, CV_8UC3, cv::Scalar::all(90)), "nulls.png");
    const std::string missing = temp_path("missing.png");
    ASSERT_EQ(vantorix_load_arw(loaded, missing.c_str(), 1), -1);  // leaves a known message
    for (const auto& c : kCalls) {
        EXPECT_EQ(c.call(nullptr, false), -1) << c.name << " with a null context";
        Context empty;
        g_f[0] = 77.0f;
        EXPECT_EQ(c.call(empty, false), -1) << c.name;
        EXPECT_EQ(g_f[0], 77.0f) << c.name << " wrote an out-value on failure";
        if (c.unloaded) { EXPECT_STREQ(vantorix_last_error(empty), c.unloaded) << c.name; }
        if (std::string(c.name) == "process" || std::string(c.name) == "segment") continue;
        EXPECT_EQ(c.call(loaded, true), -1) << c.name << " with a null argument";
        EXPECT_EQ(vantorix_last_error(loaded), "OpenCV could not read: " + missing) << c.name << " stored a message";
    }
    const float pts[] = {0, 0, 1, 1};  // setters, resets and unload ignore a null context
    vantorix_set_exposure(nullptr, 1);
    vantorix_set_tone_curve(nullptr, 0, pts, 2);
    vantorix_reset_adjustments(nullptr);
    vantorix_unload(nullptr);
    vantorix_destroy_context(nullptr);
}

TEST(Api, LifecycleAndSettingsRecord) {
    EXPECT_TRUE(vantorix_init() == 0 && vantorix_init() == 0 && std::string(vantorix_version()) == "1.0.0");
    vantorix_shutdown();
    Context ctx;
    EXPECT_TRUE(vantorix_get_width(ctx) == 0 && *vantorix_last_error(ctx) == 0);
    const vantorix::Adjustments& a = ctx.ctx->adjustments;
    const float pts[] = {0.0f, 0.1f, 0.8f, 0.5f, 0.3f, 0.9f};
    vantorix_set_exposure(ctx, 1000.0f);  // stored unclamped
    vantorix_set_tone_curve(ctx, 2, pts, 3);
    vantorix_set_tone_curve(ctx, 1, pts, 1);  // too few points: ignored
    vantorix_set_split_toning(ctx, 1, 200, 30, 77);  // shadows: balance ignored
    vantorix_set_split_toning(ctx, 0, 40, 20, -10);
    EXPECT_TRUE(a.exposure == 1000 && a.tone_curves[2][2].x == 0.3f && a.tone_curves[1].size() == 2);  // the host's order kept
    EXPECT_TRUE(a.split_shadow_hue == 200 && a.split_shadow_saturation == 30 && a.split_highlight_saturation == 20 && a.split_balance == -10);
    for (auto [in, out] : {std::pair<float, float>{150, 100}, {-5, 0}, {NAN, 100}, {42.5f, 42.5f}}) {
        vantorix_set_bg_blur(ctx, in);
        EXPECT_EQ(ctx.ctx->bg_blur, out) << in;
    }
    ctx.ctx->processed_valid = true;
    vantorix_reset_adjustments(ctx);  // bg_blur is not a development setting
    EXPECT_TRUE(!ctx.ctx->processed_valid && a.exposure == 0 && a.temperature == 5500 && a.tone_curves[2].size() == 2 && ctx.ctx->bg_blur == 42.5f);
    EXPECT_TRUE(a.crop.w == 0 && a.split_balance == 0 && a.split_shadow_saturation == 0);
    // Analysis heights: rounded down, never zero for a picture, zero for none.
    EXPECT_TRUE(vantorix::scaled_height(3000, 2000, 512) == 341 && vantorix::scaled_height(100000, 10, 512) == 1);
    EXPECT_EQ(vantorix::scaled_height(0, 10, 512), 0);
}

// A library error inside a call becomes a failure code with OpenCV's message.
TEST(Api, LibraryErrorsBecomeFailures) {
    Context ctx;
    ctx.ctx->pipeline.working = vantorix::ImageBuffer::adopt(cv::Mat(2, 2, CV_16UC4, cv::Scalar::all(1)));
    ctx.ctx->pipeline.processed.mat = cv::Mat(2, 2, CV_16UC2, cv::Scalar::all(1));
    ctx.ctx->processed_valid = true;
    EXPECT_EQ(vantorix_get_histogram(ctx, g_hist[0], g_hist[1], g_hist[2], g_hist[3]), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("OpenCV error: ", 0), 0u) << vantorix_last_error(ctx);
}

// Four contexts on four threads give the same files as one after another.
TEST(Api, FourContextsOnFourThreads) {
    const std::string jpeg = temp_path("threads_src.jpg"), dng = temp_path("threads_src.dng");
    testsupport::write_image(jpeg, testsupport::disc_image(400, 300, {150, 100}, 60));
    testsupport::DngOptions o;
    o.width = 160, o.height = 120, o.red = 5000, o.blue = 40000;
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    const std::tuple<std::string, float, float> jobs[] = {{jpeg, 30, 20}, {dng, -20, 40}, {jpeg, 0, -30}, {dng, 50, 0}};
    auto run = [&](int i, const std::string& tag) {
        Context ctx;
        const std::string jpg = temp_path("thread_" + tag + ".jpg"), png = temp_path("thread_" + tag + ".png");
        vantorix_load_arw(ctx, std::get<0>(jobs[i]).c_str(), 1);
        vantorix_set_brightness(ctx, std::get<1>(jobs[i]));
        vantorix_set_contrast(ctx, std::get<2>(jobs[i]));
        if (vantorix_process(ctx) || vantorix_export_jpeg(ctx, jpg.c_str(), 88, 0, 0) || vantorix_export_png(ctx, png.c_str(), 16)) return std::vector<uint8_t>();
        std::vector<uint8_t> bytes = testsupport::read_bytes(jpg), more = testsupport::read_bytes(png);
        bytes.insert(bytes.end(), more.begin(), more.end());
        return bytes;
    };
    std::vector<std::vector<uint8_t>> parallel(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { parallel[i] = run(i, "p" + std::to_string(i)); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(!parallel[i].empty() && run(i, "s" + std::to_string(i)) == parallel[i]) << "job " << i;
}

// One thread means one thread, LibRaw's OpenMP runtime included.
TEST(Threads, OneThreadAlsoBoundsLibRawsOpenMp) {
    vantorix_set_thread_count(1);
    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, testsupport::sample_crw().c_str(), 2), 0);  // LibRaw has loaded OpenMP
    void* gomp = ::dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(gomp, nullptr);
    const auto max_threads = reinterpret_cast<int (*)()>(::dlsym(gomp, "omp_get_max_threads"));
    ASSERT_NE(max_threads, nullptr);
    EXPECT_EQ(max_threads(), 1);
    vantorix_set_thread_count(-1);
}
