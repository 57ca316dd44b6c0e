// Automatic tools on a 4096 x 2731 photograph.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "analysis/analysis_auto.h"
#include "bench_common.h"
#include "vantorix.h"

namespace {

// The shared 4096 x 2731 photograph, loaded once.
EngineContext* bench_context() {
    static EngineContext* ctx = benchsupport::context_4096();
    return ctx;
}

void BM_AutoExposure(benchmark::State& state) {
    EngineContext* ctx = bench_context();
    float e = 0;
    for (auto _ : state) {
        if (vantorix_auto_exposure(ctx, &e) != 0) state.SkipWithError("auto exposure failed");
        benchmark::DoNotOptimize(e);
    }
}
BENCHMARK(BM_AutoExposure)->Unit(benchmark::kMillisecond);

void BM_AutoWhiteBalance(benchmark::State& state) {
    EngineContext* ctx = bench_context();
    float t = 0, tint = 0;
    for (auto _ : state) {
        if (vantorix_auto_white_balance(ctx, &t, &tint) != 0) state.SkipWithError("auto white balance failed");
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK(BM_AutoWhiteBalance)->Unit(benchmark::kMillisecond);

void BM_AutoEnhance(benchmark::State& state) {
    EngineContext* ctx = bench_context();
    AutoEnhanceResult r{};
    for (auto _ : state) {
        if (vantorix_auto_enhance(ctx, &r) != 0) state.SkipWithError("auto enhance failed");
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_AutoEnhance)->Unit(benchmark::kMillisecond);

void BM_AutoStraighten(benchmark::State& state) {
    EngineContext* ctx = bench_context();
    float a = 0;
    for (auto _ : state) {
        if (vantorix_auto_straighten(ctx, &a) != 0) state.SkipWithError("auto straighten failed");
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_AutoStraighten)->Unit(benchmark::kMillisecond);

void BM_AutoCrop(benchmark::State& state) {
    EngineContext* ctx = bench_context();
    float x, y, w, h;
    for (auto _ : state) {
        if (vantorix_auto_crop(ctx, &x, &y, &w, &h) != 0) state.SkipWithError("auto crop failed");
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(BM_AutoCrop)->Unit(benchmark::kMillisecond);

// The crop search alone on a portrait analysis image (512 x 768, 530 candidates).
void BM_AutoCropSearchPortrait(benchmark::State& state) {
    cv::Mat importance(768, 512, CV_32F);
    cv::RNG rng(7);
    rng.fill(importance, cv::RNG::UNIFORM, 0.0, 1.0);
    float x, y, w, h;
    for (auto _ : state) {
        vantorix::best_crop_on_importance(importance, 1.5f, 0.02f, x, y, w, h);
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(BM_AutoCropSearchPortrait)->Unit(benchmark::kMillisecond);

}  // namespace
