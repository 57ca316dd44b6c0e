#include "bench_common.h"

#include <sys/stat.h>

#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace benchsupport {

std::string corpus_dir() {
    const char* env = std::getenv("VANTORIX_CORPUS");
    const std::string d = env ? env : std::string(VANTORIX_SOURCE_DIR) + "/../shared/corpus";
    struct stat st {};
    return ::stat((d + "/MANIFEST.md").c_str(), &st) == 0 ? d : std::string();
}

namespace {
cv::Mat synthetic_bgr(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    cv::RNG rng(12345);
    rng.fill(m, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(m, m, cv::Size(0, 0), 3.0);
    return m;
}
}  // namespace

std::string large_jpeg_path() {
    static const std::string path = [] {
        const std::string c = corpus_dir();
        if (!c.empty()) return c + "/jpeg/canon_eos_rp_MG_0631.JPG";
        const std::string p = "/tmp/vantorix_bench_large.jpg";
        cv::imwrite(p, synthetic_bgr(6000, 4000));
        return p;
    }();
    return path;
}

EngineContext* context_4096() {
    EngineContext* ctx = vantorix_create_context();
    vantorix_load_arw(ctx, large_jpeg_path().c_str(), 1);
    return ctx;
}

const cv::Mat& float_image_4096() {
    static const cv::Mat img = [] {
        cv::Mat bgr = cv::imread(large_jpeg_path(), cv::IMREAD_COLOR);
        cv::resize(bgr, bgr, cv::Size(4096, 2731), 0, 0, cv::INTER_AREA);
        cv::Mat rgba, f;
        cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
        rgba.convertTo(f, CV_32F, 1.0 / 255.0);
        return f;
    }();
    return img;
}

}  // namespace benchsupport
