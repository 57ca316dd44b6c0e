#include "support/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

namespace testsupport {

namespace {
std::string g_temp_root;
std::once_flag g_once;

void remove_temp_root() {
    if (!g_temp_root.empty()) {
        const std::string cmd = "rm -rf '" + g_temp_root + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
}
}  // namespace

std::string temp_dir() {
    std::call_once(g_once, [] {
        char templ[] = "/tmp/vantorix-test-XXXXXX";
        const char* d = mkdtemp(templ);
        if (!d) std::abort();
        g_temp_root = d;
        std::atexit(remove_temp_root);
    });
    return g_temp_root;
}

std::string temp_path(const std::string& name) { return temp_dir() + "/" + name; }

std::string source_dir() { return VANTORIX_SOURCE_DIR; }

std::string corpus_dir() {
    static const std::string dir = [] {
        const char* env = std::getenv("VANTORIX_CORPUS");
        std::string d = env ? env : source_dir() + "/../shared/corpus";
        struct stat st {};
        if (::stat((d + "/MANIFEST.md").c_str(), &st) != 0) return std::string();
        return d;
    }();
    return dir;
}

bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void write_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params) {
    ASSERT_TRUE(cv::imwrite(path, image, params)) << path;
}

cv::Mat preview_of(EngineContext* ctx) {
    if (vantorix_process(ctx) != 0) return cv::Mat();
    cv::Mat out(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC4);
    if (vantorix_get_preview(ctx, out.data, static_cast<int>(out.total() * 4)) != 0) return cv::Mat();
    return out;
}

cv::Mat develop_via_tiff(const cv::Mat& bgr_source, void (*configure)(EngineContext*)) {
    static int counter = 0;
    const std::string in = temp_path("src_" + std::to_string(counter) + (bgr_source.depth() == CV_16U ? ".tif" : ".png"));
    const std::string out = temp_path("out_" + std::to_string(counter++) + ".tif");
    if (!cv::imwrite(in, bgr_source)) return cv::Mat();
    Context ctx;
    if (vantorix_load_arw(ctx, in.c_str(), 1) != 0) return cv::Mat();
    if (configure) configure(ctx);
    if (vantorix_process(ctx) != 0) return cv::Mat();
    if (vantorix_export_tiff(ctx, out.c_str()) != 0) return cv::Mat();
    cv::Mat bgr = cv::imread(out, cv::IMREAD_UNCHANGED);
    cv::Mat rgb;
    if (!bgr.empty()) cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

cv::Mat random_image(int w, int h, uint64_t seed) {
    cv::Mat img(h, w, CV_32FC4);
    cv::RNG rng(seed);
    rng.fill(img, cv::RNG::UNIFORM, 0.0, 1.0);
    return img;
}

bool identical(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}

int reflect(int i, int len) {
    if (len == 1) return 0;
    while (i < 0 || i >= len) i = i < 0 ? -i - 1 : 2 * len - i - 1;
    return i;
}

int run_cli(const std::string& args, std::string* out, std::string* err) {
    const std::string out_file = temp_path("cli_stdout.txt"), err_file = temp_path("cli_stderr.txt");
    const std::string cmd = std::string("'") + VANTORIX_CLI_PATH + "' " + args + " >'" + out_file + "' 2>'" + err_file +
                            "' </dev/null";
    const int status = std::system(cmd.c_str());
    auto slurp = [](const std::string& p) {
        std::ifstream f(p);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    };
    if (out) *out = slurp(out_file);
    if (err) *err = slurp(err_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
