#pragma once
// Shared helpers of the test suite.
#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/core.hpp>
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

// ../shared/corpus next to the checkout, or "" when it is absent.
std::string corpus_dir();
// Full path of a corpus file; skips the current test when the corpus is absent.
#define CORPUS_FILE(rel)                                                                    \
    ([&]() {                                                                                \
        const std::string dir = testsupport::corpus_dir();                                 \
        return dir.empty() ? std::string() : dir + "/" + (rel);                            \
    }())
#define REQUIRE_CORPUS()                                                                     \
    do {                                                                                     \
        if (testsupport::corpus_dir().empty())                                               \
            GTEST_SKIP() << "../shared/corpus is absent: skipping a test on real camera files"; \
    } while (0)

// The repository root (for samples/).
std::string source_dir();

bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_bytes(const std::string& path);

// Writes an 8-bit BGR / 16-bit image with OpenCV (extension picks the format).
void write_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params = {});

// Develops the loaded image of ctx and returns the preview as CV_8UC4 (RGBA).
cv::Mat preview_of(EngineContext* ctx);

// Develops a synthetic RGB image (8-bit BGR matrix written as PNG, or 16-bit
// written as TIFF) through the public interface with `configure` applied and
// returns the processed image read back as 16-bit RGB (CV_16UC3, R,G,B order)
// from a 16-bit TIFF export.
cv::Mat develop_via_tiff(const cv::Mat& bgr_source, void (*configure)(EngineContext*));

// A CV_32FC4 image of uniform values in 0..1 from a seeded generator.
cv::Mat random_image(int w, int h, uint64_t seed);
// Same size, type and bytes (row by row, so views compare too).
bool identical(const cv::Mat& a, const cv::Mat& b);
// An index mirrored into 0..len-1 as BORDER_REFLECT does (the edge pixel repeated).
int reflect(int i, int len);

// Runs the command-line tool; returns its exit status, stderr in `err`.
int run_cli(const std::string& args, std::string* out = nullptr, std::string* err = nullptr);

}  // namespace testsupport
