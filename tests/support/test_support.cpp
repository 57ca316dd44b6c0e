#include "support/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace testsupport {

std::string temp_dir() {
    static const std::string* dir = [] {  // never destroyed: still valid when the folder is removed at exit
        char templ[] = "/tmp/vantorix-test-XXXXXX";
        if (!mkdtemp(templ)) std::abort();
        std::atexit([] {
            if (std::system(("rm -rf '" + temp_dir() + "'").c_str()) != 0) std::fputs("test folder left behind\n", stderr);
        });
        return new std::string(templ);
    }();
    return *dir;
}

std::string temp_path(const std::string& name) { return temp_dir() + "/" + name; }

std::string source_dir() { return VANTORIX_SOURCE_DIR; }

std::string sample_crw() { return source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW"; }

std::string corpus_dir() {
    static const std::string dir = [] {
        const char* env = std::getenv("VANTORIX_CORPUS");
        const std::string d = env ? env : source_dir() + "/../shared/corpus";
        struct stat st {};
        return ::stat((d + "/MANIFEST.md").c_str(), &st) == 0 ? d : std::string();
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

std::string load_image(EngineContext* ctx, const cv::Mat& bgr, const std::string& name) {
    const std::string path = temp_path(name);
    write_image(path, bgr);
    EXPECT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << vantorix_last_error(ctx);
    return path;
}

cv::Mat disc_image(int width, int height, cv::Point2f centre, float radius, uint64_t seed) {
    cv::RNG rng(seed);
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int n = rng.uniform(-25, 26), stripe = ((x / 6 + y / 9) % 2) ? 12 : -12;
            const bool inside = std::hypot(x - centre.x, y - centre.y) <= radius;
            img.at<cv::Vec3b>(y, x) = inside ? cv::Vec3b(40 + n, 110 + n + stripe, 220 + n)
                                             : cv::Vec3b(170 + n + stripe, 140 + n, 40 + n);
        }
    return img;
}

cv::Mat preview_of(EngineContext* ctx) {
    if (vantorix_process(ctx) != 0) return cv::Mat();
    cv::Mat out(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC4);
    if (vantorix_get_preview(ctx, out.data, static_cast<int>(out.total() * 4)) != 0) return cv::Mat();
    return out;
}

cv::Mat random_image(int w, int h, uint64_t seed, double lo, double hi) {
    cv::Mat img(h, w, CV_32FC4);
    cv::RNG(seed).fill(img, cv::RNG::UNIFORM, lo, hi);
    return img;
}

bool identical(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}

int run_cli(const std::string& args, std::string* out, std::string* err) {
    const std::string out_file = temp_path("cli_stdout.txt"), err_file = temp_path("cli_stderr.txt");
    const std::string cmd = std::string("'") + VANTORIX_CLI_PATH + "' " + args + " >'" + out_file + "' 2>'" + err_file +
                            "' </dev/null";
    const int status = std::system(cmd.c_str());
    auto slurp = [](const std::string& p) { const std::vector<uint8_t> b = read_bytes(p); return std::string(b.begin(), b.end()); };
    if (out) *out = slurp(out_file);
    if (err) *err = slurp(err_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
