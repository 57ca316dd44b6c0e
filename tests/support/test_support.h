#pragma once
// Shared helpers of the test suite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "vantorix.h"

namespace testsupport {

// Owns a context for one test.
struct Context {
    EngineContext* ctx = vantorix_create_context();
    Context() = default;
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() { vantorix_destroy_context(ctx); }
    operator EngineContext*() const { return ctx; }
};

// A fresh empty folder under the build's temporary area, removed at exit.
std::string temp_dir();
// temp_dir() + "/" + name
std::string temp_path(const std::string& name);

// $VANTORIX_CORPUS, else ../shared/corpus next to the checkout; "" when it is absent.
std::string corpus_dir();
// Full path of a corpus file ("" when the corpus is absent; use REQUIRE_CORPUS first).
#define CORPUS_FILE(rel)                                                                    \
    ([&]() {                                                                                \
        const std::string dir = testsupport::corpus_dir();                                 \
        return dir.empty() ? std::string() : dir + "/" + (rel);                            \
    }())
#define REQUIRE_CORPUS()                                                                      \
    do {                                                                                      \
        if (testsupport::corpus_dir().empty())                                                \
            GTEST_SKIP() << "test corpus absent (set VANTORIX_CORPUS or provide ../shared/corpus)"; \
    } while (0)

// The repository root (for samples/).
std::string source_dir();
// The camera RAW file kept in samples/ (640 x 480 JPEG thumbnail, 1156 x 860 at half size).
std::string sample_crw();

bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_bytes(const std::string& path);

// Writes an 8-bit BGR / 16-bit image with OpenCV (extension picks the format).
void write_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params = {});
// Writes `bgr` to temp_path(name) and loads it into ctx; returns the path.
std::string load_image(EngineContext* ctx, const cv::Mat& bgr, const std::string& name);

// A textured orange disc on a textured blue-green background (8-bit BGR),
// drawn with a private generator (OpenCV's per-thread one is never touched).
cv::Mat disc_image(int width, int height, cv::Point2f centre, float radius, uint64_t seed = 7);

// Develops the loaded image of ctx and returns the preview as CV_8UC4 (RGBA).
cv::Mat preview_of(EngineContext* ctx);

// A CV_32FC4 image of uniform values in lo..hi from a seeded generator.
cv::Mat random_image(int w, int h, uint64_t seed, double lo = 0.0, double hi = 1.0);
// Same size, type and bytes (row by row, so views compare too).
bool identical(const cv::Mat& a, const cv::Mat& b);

// Runs the command-line tool; returns its exit status, stderr in `err`.
int run_cli(const std::string& args, std::string* out = nullptr, std::string* err = nullptr);
// A path quoted for the shell.
inline std::string q(const std::string& path) { return "'" + path + "'"; }

}  // namespace testsupport
