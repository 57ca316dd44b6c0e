// Segmentation, background-blurred preview and cut-out on a 4096 x 2731 image.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "engine/context.h"
#include "output/histogram.h"
#include "vantorix.h"

namespace {

constexpr int kW = 4096, kH = 2731;

// A textured disc on a textured background, 16-bit RGBA.
vantorix::ImageBuffer subject_photo() {
    cv::RNG rng(3);
    cv::Mat rgb(kH, kW, CV_8UC3);
    const float cx = kW * 0.5f, cy = kH * 0.5f, r = kH * 0.3f;
    for (int y = 0; y < kH; ++y) {
        cv::Vec3b* row = rgb.ptr<cv::Vec3b>(y);
        for (int x = 0; x < kW; ++x) {
            const float dx = x - cx, dy = y - cy;
            const int n = rng.uniform(-25, 26);
            const int s = ((x / 24 + y / 36) % 2) ? 12 : -12;
            if (dx * dx + dy * dy <= r * r)
                row[x] = cv::Vec3b(cv::saturate_cast<uchar>(220 + n), cv::saturate_cast<uchar>(110 + n + s),
                                   cv::saturate_cast<uchar>(40 + n));
            else
                row[x] = cv::Vec3b(cv::saturate_cast<uchar>(40 + n), cv::saturate_cast<uchar>(140 + n),
                                   cv::saturate_cast<uchar>(170 + n + s));
        }
    }
    return vantorix::ImageBuffer(rgb);
}

EngineContext* loaded_context() {
    EngineContext* ctx = vantorix_create_context();
    ctx->pipeline.working = subject_photo();
    return ctx;
}

void BM_SegmentSubject(benchmark::State& state) {
    EngineContext* ctx = loaded_context();
    for (auto _ : state) {
        if (vantorix_segment_subject(ctx, -1.0f, -1.0f) != 0) state.SkipWithError(vantorix_last_error(ctx));
    }
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_SegmentSubject)->Unit(benchmark::kMillisecond)->Iterations(3);

void preview_bench(benchmark::State& state, float bg_blur) {
    EngineContext* ctx = loaded_context();
    if (vantorix_segment_subject(ctx, -1.0f, -1.0f) != 0) state.SkipWithError(vantorix_last_error(ctx));
    vantorix_set_bg_blur(ctx, bg_blur);
    std::vector<uint8_t> buf(static_cast<size_t>(kW) * kH * 4);
    for (auto _ : state) {
        if (vantorix_get_preview(ctx, buf.data(), static_cast<int>(buf.size())) != 0)
            state.SkipWithError(vantorix_last_error(ctx));
    }
    vantorix_destroy_context(ctx);
}

void BM_PreviewPlain(benchmark::State& state) { preview_bench(state, 0.0f); }
BENCHMARK(BM_PreviewPlain)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PreviewBackgroundBlur(benchmark::State& state) { preview_bench(state, static_cast<float>(state.range(0))); }
BENCHMARK(BM_PreviewBackgroundBlur)->Arg(10)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(5);

// The blend step alone, and the same blend as a chain of whole-matrix
// operations for comparison.
struct BlendInputs {
    cv::Mat preview, mask;
    BlendInputs() {
        EngineContext* ctx = loaded_context();
        preview = ctx->pipeline.working.to_8bit();
        if (vantorix_segment_subject(ctx, -1.0f, -1.0f) == 0) mask = ctx->subject_mask;
        vantorix_destroy_context(ctx);
    }
};

void BM_BlurBackground(benchmark::State& state) {
    static const BlendInputs in;
    for (auto _ : state) benchmark::DoNotOptimize(vantorix::blur_background(in.preview, in.mask, 50.0f));
}
BENCHMARK(BM_BlurBackground)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BlurBackgroundMatrixChain(benchmark::State& state) {
    static const BlendInputs in;
    for (auto _ : state) {
        cv::Mat blurred, m, M, F, Bf, inv, a, b, R, out;
        cv::GaussianBlur(in.preview, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REFLECT_101);
        in.mask.convertTo(m, CV_32F, 0.00392156862745098);
        cv::merge(std::vector<cv::Mat>{m, m, m, m}, M);
        in.preview.convertTo(F, CV_32FC4, 1.0);
        blurred.convertTo(Bf, CV_32FC4, 1.0);
        cv::subtract(cv::Scalar(1.0, 1.0, 1.0, 1.0), M, inv);
        cv::multiply(F, M, a);
        cv::multiply(Bf, inv, b);
        cv::add(a, b, R);
        R.convertTo(out, CV_8UC4, 1.0);
        benchmark::DoNotOptimize(out.data);
    }
}
BENCHMARK(BM_BlurBackgroundMatrixChain)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ExportSubjectPng(benchmark::State& state) {
    EngineContext* ctx = loaded_context();
    if (vantorix_segment_subject(ctx, -1.0f, -1.0f) != 0 || vantorix_process(ctx) != 0)
        state.SkipWithError(vantorix_last_error(ctx));
    char name[] = "/tmp/vantorix-bench-cutout-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    const std::string path = std::string(name) + ".png";
    for (auto _ : state) {
        if (vantorix_export_subject_png(ctx, path.c_str()) != 0) state.SkipWithError(vantorix_last_error(ctx));
    }
    std::remove(path.c_str());
    std::remove(name);
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_ExportSubjectPng)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
