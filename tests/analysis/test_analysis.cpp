// The automatic tools, subject segmentation and the perceptual hash.
#include <bitset>
#include <thread>

#include "analysis/analysis_auto.h"
#include "analysis/analysis_common.h"
#include "analysis/phash_core.h"
#include "analysis/segmentation.h"
#include "engine/context.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::disc_image;
using testsupport::temp_path;

namespace {

cv::Mat grey(int w, int h, int v) { return cv::Mat(h, w, CV_8UC3, cv::Scalar::all(v)); }

void load(EngineContext* ctx, const cv::Mat& bgr, const std::string& name) { testsupport::load_image(ctx, bgr, name + ".png"); }

float auto_exposure(EngineContext* ctx) { float e = NAN; return vantorix_auto_exposure(ctx, &e) == 0 ? e : NAN; }
float straighten(EngineContext* ctx) { float a = NAN; return vantorix_auto_straighten(ctx, &a) == 0 ? a : NAN; }
AutoEnhanceResult enhance(EngineContext* ctx) { AutoEnhanceResult r{}; return vantorix_auto_enhance(ctx, &r) == 0 ? r : AutoEnhanceResult{{NAN}}; }

// A grey 128 picture 512 wide with `white` rows of 255 and `black` rows of 0.
cv::Mat rows_image(int height, int white, int black) {
    cv::Mat m = grey(512, height, 128);
    m.rowRange(0, white).setTo(cv::Scalar::all(255));
    m.rowRange(white, white + black).setTo(cv::Scalar::all(0));
    return m;
}

// A light sky over dark ground whose edge runs from y_left to y_right.
cv::Mat horizon(int width, int height, int y_left, int y_right) {
    cv::Mat m(height, width, CV_8UC3, cv::Scalar(220, 200, 180));
    cv::fillPoly(m, std::vector<std::vector<cv::Point>>{{{0, y_left}, {width, y_right}, {width, height}, {0, height}}}, cv::Scalar(40, 60, 50));
    return m;
}

cv::Mat mask_of(EngineContext* ctx, int w, int h) {
    cv::Mat m(h, w, CV_8UC1);
    return vantorix_get_mask(ctx, m.data, w * h) == 0 ? m : cv::Mat();
}

uint64_t hash_file(const std::string& path) { uint64_t h = 0x5555; return vantorix_phash(path.c_str(), &h) == 0 ? h : ~h; }
int distance(uint64_t a, uint64_t b) { return static_cast<int>(std::bitset<64>(a ^ b).count()); }

// Gradients, bands and a disc, drawn with integer arithmetic only (BGR).
cv::Mat scene(int width, int height) {
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int X = x * 320 / width, Y = y * 240 / height, dx = X - 200, dy = Y - 100;
            int b = ((X / 64 + Y / 48) % 3) * 100, g = Y * 255 / 239, r = X * 255 / 319;
            if (dx * dx + dy * dy < 2500) b = 220, g = 30, r = 30;
            if (Y > 170 && X < 120) g = 255 - g;
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(b), uint8_t(g), uint8_t(r));
        }
    return img;
}

}  // namespace

// Exposure: 0.35 x log2(0.42 / median luminance), within -1..1; white balance: always neutral.
TEST(AutoTools, ExposureWhiteBalanceAndEnhance) {
    Context ctx;
    cv::Mat half = grey(256, 256, 255);
    half.colRange(0, 128).setTo(cv::Scalar::all(0));  // the lower median is black
    for (auto [pic, want] : {std::pair<cv::Mat, double>{grey(64, 48, 107), 0.35 * std::log2(0.42 / (107 / 255.0))},
                             {grey(64, 48, 255), 0.35 * std::log2(0.42)}, {grey(64, 48, 0), 1}, {half, 1}}) {
        load(ctx, pic, "ae");
        EXPECT_NEAR(auto_exposure(ctx), want, 5e-6);
    }
    float t = 0, tint = 1;
    ASSERT_EQ(vantorix_auto_white_balance(ctx, &t, &tint), 0);
    EXPECT_TRUE(t == 6500 && tint == 0);
    // Enhance: highlights from more than 1 % white, shadows from the black share, fixed values elsewhere.
    for (auto [height, white, black, highlights, shadows] : {std::tuple<int, int, int, float, float>{100, 10, 0, -40, 15},
                                                             {100, 2, 0, -10, 15}, {100, 1, 0, 0, 15}, {100, 0, 5, 0, 20}, {400, 0, 25, 0, 25}}) {
        load(ctx, rows_image(height, white, black), "enh");
        const AutoEnhanceResult r = enhance(ctx);
        EXPECT_TRUE(r.slots[3] == highlights && r.slots[4] == shadows) << white << " white, " << black << " black rows";
        const float fixed[] = {0, 0, 0, 0, 0, 0, 5, 6500, 0, 0, 8, 0, 0, 0, 0, 1};
        for (int i : {1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15}) EXPECT_EQ(r.slots[i], fixed[i]) << "slot " << i;
        for (int i = 16; i < 32; ++i) EXPECT_EQ(r.slots[i], 0.0f) << "slot " << i;
    }
    load(ctx, grey(300, 200, 128), "enh_mid");
    const AutoEnhanceResult r = enhance(ctx);
    EXPECT_NEAR(r.slots[0], 0.35 * std::log2(0.42 / (128 / 255.0)), 1e-5);
    EXPECT_TRUE(r.slots[2] == 15 && r.slots[14] == 20);  // no spread, no fine detail
    load(ctx, rows_image(100, 0, 50), "enh_spread");  // half black: luminance spread 0.25098
    EXPECT_NEAR(enhance(ctx).slots[2], (0.15 - 0.25098) / 0.15 * 15, 1e-3);
}

// The 16-bit analysis is counted in strips of rows: the counts of the float conversion.
TEST(AutoTools, SixteenBitHistogramsEqualTheFloatOnes) {
    cv::Mat img(37, 70, CV_16UC4);
    cv::randu(img, 0, 65536);
    uint32_t a[4][256], b[4][256];
    vantorix::analysis_histograms(img, a[0], a[1], a[2], a[3]);
    vantorix::analysis_histograms(vantorix::ImageBuffer::adopt(img).to_float(), b[0], b[1], b[2], b[3]);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
}

// Every tool measures the image as loaded: settings made before play no part.
TEST(AutoTools, MeasureTheLoadedImageNotTheSettings) {
    Context ctx;
    load(ctx, horizon(600, 400, 180, 220), "settings");
    auto all = [&] {
        std::vector<float> v(38);
        AutoEnhanceResult r;
        EXPECT_TRUE(vantorix_auto_exposure(ctx, &v[0]) == 0 && vantorix_auto_straighten(ctx, &v[1]) == 0 &&
                    vantorix_auto_crop(ctx, &v[2], &v[3], &v[36], &v[37]) == 0 && vantorix_auto_enhance(ctx, &r) == 0);
        std::memcpy(&v[4], r.slots, sizeof r.slots);
        return v;
    };
    const std::vector<float> before = all();
    vantorix_set_exposure(ctx, -2.0f);
    vantorix_set_rotation(ctx, 20.0f);
    vantorix_set_crop(ctx, 0.1f, 0.1f, 0.5f, 0.5f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    EXPECT_EQ(all(), before);
    EXPECT_EQ(ctx.ctx->adjustments.exposure, -2.0f);  // and change nothing
}

// Positive proposals turn counter-clockwise: a right end lower gives a positive angle.
TEST(AutoTools, StraightenDrawnHorizons) {
    Context ctx;
    cv::Mat steep = grey(800, 500, 230);
    cv::line(steep, {300, 0}, {500, 499}, cv::Scalar::all(20), 3);  // far from level: ignored
    const double tilt = std::atan2(30.0, 800.0) * 180 / CV_PI;
    for (auto [pic, want] : {std::pair<cv::Mat, double>{grey(800, 500, 90), 0}, {horizon(800, 500, 250, 250), 0}, {steep, 0},
                             {horizon(800, 500, 235, 265), tilt}, {horizon(800, 500, 265, 235), -tilt}}) {
        load(ctx, pic, "st");
        EXPECT_NEAR(straighten(ctx), want, want == 0 ? 0 : 0.25) << pic.size;
    }
}

// A 3:2 landscape crop inside 2 % margins, toward a detailed subject, landscape for portraits too.
TEST(AutoTools, CropFollowsTheSubject) {
    Context ctx;
    cv::Mat img = grey(900, 600, 60), patch(150, 180, CV_8UC3);
    cv::RNG(11).fill(patch, cv::RNG::UNIFORM, cv::Scalar::all(150), cv::Scalar::all(256));
    patch.copyTo(img(cv::Rect(690, 420, 180, 150)));
    for (const cv::Mat& pic : {img, cv::Mat(img.t()), grey(600, 400, 128)}) {
        load(ctx, pic, "crop");
        float x = -1, y = -1, w = -1, h = -1;
        ASSERT_EQ(vantorix_auto_crop(ctx, &x, &y, &w, &h), 0);
        const float W = 512, H = static_cast<float>(vantorix::analysis_height(pic.cols, pic.rows, 512));
        const float mx = static_cast<int>(W * 0.02f) - 0.01f, my = static_cast<int>(0.02f * H) - 0.01f;
        EXPECT_LT(std::fabs(w * W - 1.5f * h * H), 1.5f) << pic.size;
        EXPECT_TRUE(x * W >= mx && y * H >= my && (x + w) * W <= W - mx && (y + h) * H <= H - my && w > 0 && h > 0) << pic.size;
        if (pic.cols == 900) { EXPECT_TRUE(x > 0.02f && x + w >= 870.0f / 900.0f); }  // moved toward the subject
    }
}


TEST(Segmentation, SeedRectangle) {
    for (auto [w, h, cx, cy, want] : {std::tuple<int, int, float, float, cv::Rect>{512, 512, -1, -7, {103, 103, 307, 307}},
                                      {512, 512, 0.5f, 0.5f, {103, 103, 307, 307}}, {512, 512, NAN, NAN, {103, 103, 307, 307}},
                                      {512, 512, 0, 0, {1, 1, 307, 307}}, {512, 512, 1, -1, {359, 103, 152, 307}},
                                      {512, 341, -1, 1, {103, 239, 307, 101}}, {2, 2, -1, -1, {1, 1, 0, 0}}})
        EXPECT_EQ(vantorix::subject_seed_rect(w, h, cx, cy), want) << cx << "," << cy;
    EXPECT_GT(vantorix::subject_seed_rect(512, 512, 1e30f, INFINITY).x, 512);  // outside the image, without overflow
}

// Opaque inside the disc, transparent outside, feathered at the outline; the
// same mask whatever the random generators did; kept through loads, unloads
// and failures; read back as exactly width x height bytes.
TEST(Segmentation, DiscMaskAndItsLifetime) {
    const int W = 96, H = 72;
    Context ctx;
    testsupport::load_image(ctx, disc_image(W, H, {40, 36}, 20), "disc.png");
    uint8_t byte = 0;
    EXPECT_EQ(vantorix_get_mask(ctx, &byte, 1), -1);  // loaded, not segmented
    vantorix_set_exposure(ctx, 3.0f);  // settings play no part
    ASSERT_EQ(vantorix_segment_subject(ctx, 40.0f / W, 0.5f), 0) << vantorix_last_error(ctx);
    const cv::Mat first = mask_of(ctx, W, H);
    int soft = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = first.at<uchar>(y, x);
            const float d = std::hypot(x - 40.0f, y - 36.0f);
            soft += v > 0 && v < 255;
            EXPECT_TRUE((d >= 12 || v == 255) && (d <= 28 || v == 0)) << x << "," << y << ": " << v;
        }
    EXPECT_GT(soft, 2 * CV_PI * 20 * 2);  // a band several pixels wide all round
    auto unchanged = [&](const char* what) { EXPECT_TRUE(testsupport::identical(mask_of(ctx, W, H), first)) << what; };
    cv::theRNG().state = 0x123456789abcdefULL;
    ASSERT_EQ(vantorix_segment_subject(ctx, 40.0f / W, 0.5f), 0);
    unchanged("other generator state");
    std::thread([&] { EXPECT_EQ(vantorix_segment_subject(ctx, 40.0f / W, 0.5f), 0); }).join();
    unchanged("another thread");
    EXPECT_TRUE(vantorix_segment_subject(ctx, INFINITY, 5) == -2 && std::string(vantorix_last_error(ctx)) == "GrabCut failed");
    std::vector<uint8_t> buf(W * H + 16, 0xAB);
    EXPECT_TRUE(vantorix_get_mask(ctx, buf.data(), W * H - 1) == -2 && vantorix_get_mask(ctx, buf.data(), -5) == -2 && buf[0] == 0xAB);
    EXPECT_TRUE(vantorix_get_mask(ctx, buf.data(), W * H) == 0 && buf[W * H] == 0xAB);
    testsupport::load_image(ctx, disc_image(2, 2, {1, 1}, 1), "tiny.png");
    const int tiny = vantorix_segment_subject(ctx, -1, -1);
    testsupport::load_image(ctx, disc_image(2000, 1, {1000, 0}, 50), "row.png");  // too thin to segment
    EXPECT_TRUE(tiny == -2 && vantorix_segment_subject(ctx, -1, -1) == -2);
    vantorix_unload(ctx);
    unchanged("after failures, loads and an unload");
}

// Hashes are stored by hosts: they must not change between versions.
TEST(Phash, PinnedHashesNearDuplicatesAndFailures) {
    testsupport::write_image(temp_path("scene.png"), scene(320, 240));
    testsupport::write_image(temp_path("scene_big.png"), scene(1000, 700));
    testsupport::write_image(temp_path("scene.jpg"), scene(640, 480), {cv::IMWRITE_JPEG_QUALITY, 90});
    testsupport::write_image(temp_path("black.png"), cv::Mat(40, 60, CV_8UC3, cv::Scalar::all(0)));
    EXPECT_EQ(hash_file(temp_path("scene.png")), 0xac631ad96c3bc364ull);
    EXPECT_EQ(hash_file(temp_path("scene_big.png")), 0xac631ad96c3bc364ull);
    EXPECT_LE(distance(hash_file(temp_path("scene.jpg")), 0xac631ad96c3bc364ull), 4);
    EXPECT_EQ(hash_file(testsupport::sample_crw()), 0xea27e44b9968f01bull);  // its embedded JPEG
    EXPECT_EQ(hash_file(temp_path("black.png")), 0u);
    // A JPEG thumbnail hashes like the JPEG itself; a bitmap one through its grey values.
    testsupport::DngOptions o;
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.thumbnail = scene(200, 150);
    ASSERT_TRUE(testsupport::write_dng(temp_path("ph.dng"), o));
    testsupport::write_bytes(temp_path("ph.jpg"), testsupport::dng_thumbnail_jpeg(o));
    EXPECT_EQ(hash_file(temp_path("ph.dng")), hash_file(temp_path("ph.jpg")));
    o.thumb = testsupport::DngOptions::Thumb::bitmap;
    ASSERT_TRUE(testsupport::write_dng(temp_path("ph_bitmap.dng"), o));
    cv::Mat grey;
    cv::cvtColor(o.thumbnail, grey, cv::COLOR_BGR2GRAY);
    testsupport::write_image(temp_path("ph_bitmap.png"), grey);
    EXPECT_EQ(hash_file(temp_path("ph_bitmap.dng")), hash_file(temp_path("ph_bitmap.png")));
    uint64_t out = 77;
    EXPECT_TRUE(vantorix_phash(nullptr, &out) == -1 && out == 77 && vantorix_phash("x.png", nullptr) == -1);
    testsupport::write_bytes(temp_path("text.jpg"), {'t', 'e', 'x', 't'});
    testsupport::write_bytes(temp_path("text.arw"), {'t', 'e', 'x', 't'});
    ASSERT_TRUE(testsupport::write_dng(temp_path("bare.dng"), testsupport::DngOptions()));
    for (auto [file, code] : {std::pair<const char*, int>{"text.jpg", -1}, {"text.arw", -1}, {"missing.png", -1}, {"bare.dng", -2}}) {
        out = 77;
        EXPECT_TRUE(vantorix_phash(temp_path(file).c_str(), &out) == code && out == 0) << file;
    }
}

TEST(Phash, CorpusPhotographs) {
    REQUIRE_CORPUS();
    EXPECT_EQ(hash_file(CORPUS_FILE("jpeg/canon_eos_rp_MG_0631.JPG")), 0xabb5c84b3ce03d49ull);
    EXPECT_EQ(hash_file(CORPUS_FILE("jpeg/mei_apple_iphone5.jpg")), 0xa1960fd958e98937ull);
    EXPECT_EQ(hash_file(CORPUS_FILE("raw/kodak_dc120_P003908.KDC")), 0xb624c8d83cf3c327ull);  // bitmap thumbnail
    EXPECT_EQ(hash_file(CORPUS_FILE("raw/canon_powershot_s40_CRW_0101.CRW")), 0xeb37c44b9568c09dull);
}
