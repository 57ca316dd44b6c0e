// Concurrency between contexts, the guard around the C interface, the
// command-line tool's develop command, and real camera RAW files.
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "engine/context.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::read_bytes;
using testsupport::temp_path;

namespace {

struct Job {
    std::string input;
    float brightness;
    float contrast;
};

// Loads, develops and exports one job; returns the JPEG and 16-bit PNG bytes.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> run_job(const Job& job, const std::string& tag) {
    Context ctx;
    if (vantorix_load_arw(ctx, job.input.c_str(), 1) != 0) return {};
    vantorix_set_brightness(ctx, job.brightness);
    vantorix_set_contrast(ctx, job.contrast);
    if (vantorix_process(ctx) != 0) return {};
    const std::string jpg = temp_path("thread_" + tag + ".jpg"), png = temp_path("thread_" + tag + ".png");
    if (vantorix_export_jpeg(ctx, jpg.c_str(), 88, 0, 0) != 0) return {};
    if (vantorix_export_png(ctx, png.c_str(), 16) != 0) return {};
    return {read_bytes(jpg), read_bytes(png)};
}

}  // namespace

TEST(Threads, FourContextsGiveTheSameFilesAsOneAfterAnother) {
    cv::Mat pic(300, 400, CV_8UC3);
    cv::randu(pic, 0, 256);
    const std::string jpeg = temp_path("threads_src.jpg");
    cv::imwrite(jpeg, pic);
    testsupport::DngOptions o;
    o.width = 160;
    o.height = 120;
    o.red = 5000;
    o.blue = 40000;
    const std::string dng = temp_path("threads_src.dng");
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    const std::vector<Job> jobs = {{jpeg, 30, 20}, {dng, -20, 40}, {jpeg, 0, -30}, {dng, 50, 0}};

    std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> sequential, parallel(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) sequential.push_back(run_job(jobs[i], "s" + std::to_string(i)));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < jobs.size(); ++i)
        threads.emplace_back([&, i] { parallel[i] = run_job(jobs[i], "p" + std::to_string(i)); });
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < jobs.size(); ++i) {
        ASSERT_FALSE(sequential[i].first.empty()) << i;
        EXPECT_EQ(sequential[i].first, parallel[i].first) << "JPEG of job " << i;
        EXPECT_EQ(sequential[i].second, parallel[i].second) << "PNG of job " << i;
    }
}

TEST(Guard, LibraryErrorsBecomeFailureCodesWithMessages) {
    Context ctx;
    // A processed image of a type no read-out accepts makes OpenCV throw inside.
    ctx.ctx->pipeline.working = vantorix::ImageBuffer::adopt(cv::Mat(2, 2, CV_16UC4, cv::Scalar::all(1)));
    ctx.ctx->pipeline.processed.mat = cv::Mat(2, 2, CV_16UC2, cv::Scalar::all(1));
    ctx.ctx->processed_valid = true;
    uint32_t h[4][256];
    EXPECT_EQ(vantorix_get_histogram(ctx, h[0], h[1], h[2], h[3]), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("OpenCV error: ", 0), 0u) << vantorix_last_error(ctx);
}

TEST(Cli, DevelopsTheSampleRawFile) {
    const std::string out = temp_path("cli_sample.jpg");
    std::string err;
    const std::string sample = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    ASSERT_EQ(testsupport::run_cli("develop '" + sample + "' '" + out + "' --size-level 4 --brightness 10 --contrast 15",
                                   nullptr, &err),
              0)
        << err;
    const cv::Mat img = cv::imread(out);
    EXPECT_EQ(img.size(), cv::Size(578, 430));
}

TEST(Cli, DevelopWritesTheFormatOfTheExtension) {
    cv::Mat pic(20, 30, CV_8UC3, cv::Scalar(10, 100, 200));
    const std::string in = temp_path("cli_in.png");
    cv::imwrite(in, pic);
    const std::string tif = temp_path("cli_out.tif"), png = temp_path("cli_out16.png");
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + tif + "' --temperature 6500"), 0);
    EXPECT_EQ(cv::imread(tif, cv::IMREAD_UNCHANGED).type(), CV_16UC3);
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + png + "' --bits 16 --temperature 6500 --brightness -100"), 0);
    const cv::Mat m = cv::imread(png, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(m.type(), CV_16UC3);
    // brightness -100 squares every value: red 200/255 -> 0.615
    EXPECT_NEAR((m.at<cv::Vec<uint16_t, 3>>(0, 0)[2]) / 65535.0, (200 / 255.0) * (200 / 255.0), 1e-4);
}

TEST(Cli, TinyValuesAndNoBlurAreAccepted) {
    cv::Mat pic(12, 16, CV_8UC3, cv::Scalar(10, 100, 200));
    const std::string in = temp_path("cli_tiny.png"), a = temp_path("cli_tiny_a.png"), b = temp_path("cli_tiny_b.png");
    cv::imwrite(in, pic);
    std::string err;
    // A subnormal value is a value; --bg-blur 0 develops without segmenting.
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + a + "' --clarity 1e-40 --bg-blur 0", nullptr, &err), 0) << err;
    ASSERT_EQ(testsupport::run_cli("develop '" + in + "' '" + b + "'", nullptr, &err), 0) << err;
    EXPECT_EQ(read_bytes(a), read_bytes(b));
}

TEST(Cli, ErrorsAndExitStatus) {
    std::string err;
    EXPECT_EQ(testsupport::run_cli("develop", nullptr, &err), 2);
    EXPECT_NE(err.find("usage"), std::string::npos);
    EXPECT_EQ(testsupport::run_cli("develop a.jpg b.jpg --brightness", nullptr, &err), 2);
    EXPECT_NE(err.find("--brightness needs a value"), std::string::npos) << err;
    EXPECT_EQ(testsupport::run_cli("develop a.jpg b.jpg --brightness lots", nullptr, &err), 2);
    EXPECT_EQ(testsupport::run_cli("develop a.jpg b.jpg --no-such-option 1", nullptr, &err), 2);
    EXPECT_NE(err.find("unknown option --no-such-option"), std::string::npos) << err;
    EXPECT_EQ(testsupport::run_cli("frobnicate", nullptr, &err), 2);
    const std::string missing = temp_path("missing.cr2");
    EXPECT_EQ(testsupport::run_cli("develop '" + missing + "' '" + temp_path("x.jpg") + "'", nullptr, &err), 1);
    EXPECT_NE(err.find("LibRaw open_file failed: "), std::string::npos) << err;
    EXPECT_EQ(testsupport::run_cli("develop a.jpg b.jpg --crop ' 0.1,0,1,1'", nullptr, &err), 2);  // no leading blanks
    std::string out;
    EXPECT_EQ(testsupport::run_cli("version", &out), 0);
    EXPECT_EQ(out, "vantorix 1.0.0\n");
}

TEST(CorpusRaw, CameraFilesDevelopAtHalfSize) {
    REQUIRE_CORPUS();
    const struct {
        const char* file;
        int w, h;
    } cases[] = {{"raw/canon_powershot_g2_CRW_0304.CRW", 1156, 860},
                 {"raw/canon_powershot_s40_CRW_0101.CRW", 1156, 860},
                 {"raw/kodak_dc120_P003908.KDC", 651, 488},
                 {"raw/kodak_dc120_P003911.KDC", 651, 488},
                 {"raw/kodak_dc50_DC0008L.KDC", 384, 256},
                 {"raw/tinydng_colorchart_canon_eos_kiss_x4.dng", 867, 578},
                 {"raw/apple_quicktake100_TEST100.QTK", 320, 240},
                 {"raw/apple_quicktake150_raw_Image_01.qtk", 320, 240}};
    for (const auto& c : cases) {
        Context ctx;
        const std::string p = CORPUS_FILE(c.file);
        ASSERT_EQ(vantorix_load_arw(ctx, p.c_str(), 2), 0) << c.file << ": " << vantorix_last_error(ctx);
        EXPECT_EQ(vantorix_get_width(ctx), c.w) << c.file;
        EXPECT_EQ(vantorix_get_height(ctx), c.h) << c.file;
        EXPECT_GT(cv::mean(ctx.ctx->raw.image.mat)[1], 1000.0) << c.file;  // not a black picture
        ASSERT_EQ(vantorix_process(ctx), 0);
    }
}

TEST(CorpusRaw, StrippedAndForeignFilesFailCleanly) {
    REQUIRE_CORPUS();
    const char* files[] = {"raw/neg_exiftool_CanonRaw.cr2",     "raw/neg_exiftool_CanonRaw.cr3",
                           "raw/neg_exiftool_DNG.dng",          "raw/neg_exiftool_FujiFilm.raf",
                           "raw/neg_exiftool_Nikon.nef",        "raw/neg_exiftool_SigmaDP2.x3f",
                           "raw/neg_exiv2_Canon-R6-pruned.CR3", "raw/neg_exiv2_IMG_1361_iphone12promax.dng",
                           "raw/neg_exifpy_sony_a7iii_stripped.ARW", "raw/neg_mei_Issue_247-1_jpeg_named.nef",
                           "raw/neg_gopro_hero7_GOPR8508.GPR"};
    for (const char* f : files) {
        Context ctx;
        const std::string p = CORPUS_FILE(f);
        const int r = vantorix_load_arw(ctx, p.c_str(), 4);
        if (r == 0) {
            // Degraded developments still give a bounded, usable image.
            EXPECT_LE(std::max(vantorix_get_width(ctx), vantorix_get_height(ctx)), 2000) << f;
            EXPECT_EQ(vantorix_process(ctx), 0) << f;
        } else {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(std::string(vantorix_last_error(ctx)).rfind("LibRaw ", 0), 0u) << f << ": " << vantorix_last_error(ctx);
        }
    }
    Context ctx;
    const std::string cr2 = CORPUS_FILE("raw/neg_exiftool_CanonRaw.cr2");
    EXPECT_EQ(vantorix_load_arw(ctx, cr2.c_str(), 1), -1);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)),
              std::string("LibRaw open_file failed: ") + "Unsupported file format or not RAW file");
}
