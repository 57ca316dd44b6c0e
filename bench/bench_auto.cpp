// Automatic tools on a 4096 x 2731 photograph-like image.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "analysis/analysis_auto.h"
#include "engine/context.h"
#include "vantorix.h"

namespace {

// A textured scene with a tilted horizon, some straight edges and a bright
// subject, held as the loaded 16-bit image of a context.
EngineContext* bench_context() {
    static EngineContext* ctx = [] {
        const int w = 4096, h = 2731;
        cv::Mat img(h, w, CV_8UC3);
        cv::RNG rng(42);
        rng.fill(img, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(40));
        cv::Mat sky(h, w, CV_8UC3, cv::Scalar(230, 190, 150));
        std::vector<cv::Point> ground = {{0, h / 2}, {w, h / 2 + 120}, {w, h}, {0, h}};
        cv::fillPoly(sky, std::vector<std::vector<cv::Point>>{ground}, cv::Scalar(40, 90, 60));
        for (int i = 0; i < 12; ++i)
            cv::rectangle(sky, cv::Rect(300 + i * 300, h / 2 - 400 + i * 8, 200, 350), cv::Scalar(80 + i * 10, 80, 90),
                          cv::FILLED);
        cv::circle(sky, cv::Point(w * 2 / 3, h / 3), 250, cv::Scalar(40, 200, 250), cv::FILLED);
        img += sky;
        EngineContext* c = vantorix_create_context();
        c->pipeline.working = vantorix::ImageBuffer(img);
        return c;
    }();
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
