// Loading, development with default settings, preview and JPEG export, and a
// batch loop (one context developing photo after photo). Each benchmark first
// runs once outside the timing, so the figures are the steady state of a
// context that is reused, as a batch tool or an editor uses it.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_common.h"

static void BM_LoadLargeJpeg(benchmark::State& state) {
    const std::string path = benchsupport::large_jpeg_path();
    EngineContext* ctx = vantorix_create_context();
    vantorix_load_arw(ctx, path.c_str(), 1);
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_load_arw(ctx, path.c_str(), 1));
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_LoadLargeJpeg)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_ProcessDefault4096(benchmark::State& state) {
    EngineContext* ctx = benchsupport::context_4096();
    vantorix_process(ctx);
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_process(ctx));
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_ProcessDefault4096)->Unit(benchmark::kMillisecond)->Iterations(10);

static void BM_ProcessBrightnessContrast4096(benchmark::State& state) {
    EngineContext* ctx = benchsupport::context_4096();
    vantorix_set_brightness(ctx, 30);
    vantorix_set_contrast(ctx, 25);
    vantorix_process(ctx);
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_process(ctx));
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_ProcessBrightnessContrast4096)->Unit(benchmark::kMillisecond)->Iterations(10);

static void BM_Preview4096(benchmark::State& state) {
    EngineContext* ctx = benchsupport::context_4096();
    std::vector<uint8_t> buf(size_t(4096) * 2731 * 4);
    vantorix_get_preview(ctx, buf.data(), int(buf.size()));
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_get_preview(ctx, buf.data(), int(buf.size())));
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_Preview4096)->Unit(benchmark::kMillisecond)->Iterations(10);

static void BM_ExportJpeg4096(benchmark::State& state) {
    EngineContext* ctx = benchsupport::context_4096();
    vantorix_process(ctx);
    for (auto _ : state) benchmark::DoNotOptimize(vantorix_export_jpeg(ctx, "/tmp/vantorix_bench_export.jpg", 90, 0, 1));
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_ExportJpeg4096)->Unit(benchmark::kMillisecond)->Iterations(5);

// One photograph of a batch: load the 6240 x 4160 JPEG, develop with a few
// settings, export a JPEG with its EXIF.
static void BM_BatchDevelopOnePhoto(benchmark::State& state) {
    const std::string path = benchsupport::large_jpeg_path();
    EngineContext* ctx = vantorix_create_context();
    auto one = [&] {
        vantorix_load_arw(ctx, path.c_str(), 1);
        vantorix_set_exposure(ctx, 0.3f);
        vantorix_set_contrast(ctx, 15);
        vantorix_process(ctx);
        return vantorix_export_jpeg(ctx, "/tmp/vantorix_bench_batch.jpg", 90, 0, 1);
    };
    one();
    for (auto _ : state) benchmark::DoNotOptimize(one());
    vantorix_destroy_context(ctx);
}
BENCHMARK(BM_BatchDevelopOnePhoto)->Unit(benchmark::kMillisecond)->Iterations(5);
