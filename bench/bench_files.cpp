// The functions on files: EXIF summary, thumbnail and perceptual hash on a
// 6000 x 4000 JPEG and on a real RAW file, and `vantorix dupes` over a folder
// of 200 images.
#include <benchmark/benchmark.h>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "bench_common.h"

namespace {

std::string g_dir;

// A private folder for the generated files, removed at exit.
const std::string& work_dir() {
    static std::once_flag once;
    std::call_once(once, [] {
        char templ[] = "/tmp/vantorix-bench-files-XXXXXX";
        if (const char* d = ::mkdtemp(templ)) g_dir = d;
        std::atexit([] {
            if (!g_dir.empty() && std::system(("rm -rf '" + g_dir + "'").c_str()) != 0) {
            }
        });
    });
    return g_dir;
}

std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool write_all(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// The APP1 (EXIF) segment of a camera JPEG, with its marker and length.
std::vector<uint8_t> app1_of(const std::vector<uint8_t>& jpeg) {
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const size_t len = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (jpeg[pos + 1] == 0xE1) return std::vector<uint8_t>(jpeg.begin() + pos, jpeg.begin() + pos + 2 + len);
        pos += 2 + len;
    }
    return {};
}

// A small EXIF segment made with libexif, for runs without the corpus.
std::vector<uint8_t> made_app1() {
    ExifData* d = exif_data_new();
    exif_data_set_byte_order(d, EXIF_BYTE_ORDER_INTEL);
    exif_data_set_data_type(d, EXIF_DATA_TYPE_COMPRESSED);
    ExifEntry* e = exif_entry_new();
    exif_content_add_entry(d->ifd[EXIF_IFD_EXIF], e);
    exif_entry_initialize(e, EXIF_TAG_ISO_SPEED_RATINGS);
    exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, 200);
    exif_entry_unref(e);
    exif_data_fix(d);
    unsigned char* buf = nullptr;
    unsigned int size = 0;
    exif_data_save_data(d, &buf, &size);
    exif_data_unref(d);
    std::vector<uint8_t> seg = {0xFF, 0xE1, static_cast<uint8_t>((size + 2) >> 8), static_cast<uint8_t>((size + 2) & 0xFF)};
    seg.insert(seg.end(), buf, buf + size);
    std::free(buf);
    return seg;
}

// A 6000 x 4000 photograph (the corpus's large JPEG scaled, else a synthetic
// picture) carrying a camera's EXIF segment.
const std::string& jpeg_6000() {
    static const std::string path = [] {
        const std::string c = benchsupport::corpus_dir();
        cv::Mat img;
        std::vector<uint8_t> app1;
        if (!c.empty()) {
            const std::string src = c + "/jpeg/canon_eos_rp_MG_0631.JPG";
            cv::resize(cv::imread(src, cv::IMREAD_COLOR), img, cv::Size(6000, 4000), 0, 0, cv::INTER_AREA);
            app1 = app1_of(read_all(src));
        } else {
            cv::Mat small(400, 600, CV_8UC3);
            cv::randu(small, 0, 256);
            cv::resize(small, img, cv::Size(6000, 4000), 0, 0, cv::INTER_CUBIC);
            app1 = made_app1();
        }
        std::vector<uint8_t> jpeg;
        cv::imencode(".jpg", img, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92});
        jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
        const std::string p = work_dir() + "/large_6000x4000.jpg";
        write_all(p, jpeg);
        return p;
    }();
    return path;
}

std::string raw_file() { return std::string(VANTORIX_SOURCE_DIR) + "/samples/canon_powershot_g2_CRW_0304.CRW"; }

void exif_summary(benchmark::State& state, const std::string& path) {
    EngineContext* ctx = vantorix_create_context();
    if (vantorix_load_arw(ctx, path.c_str(), 4) != 0) state.SkipWithError("load failed");
    ExifSummary s;
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_get_exif(ctx, &s));
    vantorix_destroy_context(ctx);
}

void thumbnail(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (vantorix_extract_thumbnail(path.c_str(), &data, &size) != 0) state.SkipWithError("thumbnail failed");
        vantorix_free_thumb(data);
    }
}

void phash(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        uint64_t h = 0;
        if (vantorix_phash(path.c_str(), &h) != 0) state.SkipWithError("phash failed");
        benchmark::DoNotOptimize(h);
    }
}

// 200 image files in a small tree: 170 JPEGs of 1200 x 800 (150 distinct
// pictures, 20 re-encoded at half size), 20 PNGs of 640 x 480 and 10 copies of
// the sample RAW file.
const std::string& dupes_folder() {
    static const std::string dir = [] {
        const std::string root = work_dir() + "/dupes";
        ::mkdir(root.c_str(), 0755);
        for (int sub = 0; sub < 4; ++sub) ::mkdir((root + "/d" + std::to_string(sub)).c_str(), 0755);
        cv::RNG rng(99);
        for (int i = 0; i < 170; ++i) {
            const std::string name = root + "/d" + std::to_string(i % 4) + "/img_" + std::to_string(i) + ".jpg";
            cv::Mat small(24, 36, CV_8UC3), img;
            cv::RNG pic(static_cast<uint64_t>(i < 150 ? i : i - 150) + 1);
            pic.fill(small, cv::RNG::UNIFORM, 0, 256);
            cv::resize(small, img, cv::Size(1200, 800), 0, 0, cv::INTER_CUBIC);
            if (i >= 150) cv::resize(img, img, cv::Size(600, 400), 0, 0, cv::INTER_AREA);
            cv::imwrite(name, img, {cv::IMWRITE_JPEG_QUALITY, 90});
        }
        for (int i = 0; i < 20; ++i) {
            cv::Mat img(480, 640, CV_8UC3);
            rng.fill(img, cv::RNG::UNIFORM, 0, 256);
            cv::GaussianBlur(img, img, cv::Size(0, 0), 8.0);
            cv::imwrite(root + "/d" + std::to_string(i % 4) + "/png_" + std::to_string(i) + ".png", img);
        }
        const std::vector<uint8_t> raw = read_all(raw_file());
        for (int i = 0; i < 10; ++i) write_all(root + "/raw_" + std::to_string(i) + ".crw", raw);
        return root;
    }();
    return dir;
}

// The command-line tool next to this benchmark binary (<build>/vantorix).
std::string cli_path() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::string();
    std::string p(self, static_cast<size_t>(n));
    p = p.substr(0, p.find_last_of('/'));  // <build>/bench
    return p.substr(0, p.find_last_of('/')) + "/vantorix";
}

}  // namespace

static void BM_ExifSummaryJpeg6000(benchmark::State& state) { exif_summary(state, jpeg_6000()); }
BENCHMARK(BM_ExifSummaryJpeg6000)->Unit(benchmark::kMicrosecond);

static void BM_ExifSummaryRaw(benchmark::State& state) { exif_summary(state, raw_file()); }
BENCHMARK(BM_ExifSummaryRaw)->Unit(benchmark::kMicrosecond);

static void BM_ThumbnailJpeg6000(benchmark::State& state) { thumbnail(state, jpeg_6000()); }
BENCHMARK(BM_ThumbnailJpeg6000)->Unit(benchmark::kMillisecond);

static void BM_ThumbnailRaw(benchmark::State& state) { thumbnail(state, raw_file()); }
BENCHMARK(BM_ThumbnailRaw)->Unit(benchmark::kMillisecond);

static void BM_PhashJpeg6000(benchmark::State& state) { phash(state, jpeg_6000()); }
BENCHMARK(BM_PhashJpeg6000)->Unit(benchmark::kMillisecond);

static void BM_PhashRaw(benchmark::State& state) { phash(state, raw_file()); }
BENCHMARK(BM_PhashRaw)->Unit(benchmark::kMillisecond);

// The whole command: process start, folder walk, hashing on the machine's
// cores, grouping and output (to /dev/null).
static void BM_DupesCli200Images(benchmark::State& state) {
    const std::string cli = cli_path(), dir = dupes_folder();
    struct stat st {};
    if (cli.empty() || ::stat(cli.c_str(), &st) != 0) {
        state.SkipWithError("command-line tool not found next to the benchmark");
        return;
    }
    const std::string cmd = "'" + cli + "' dupes '" + dir + "' >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("vantorix dupes failed");
}
BENCHMARK(BM_DupesCli200Images)->Unit(benchmark::kMillisecond)->UseRealTime();
