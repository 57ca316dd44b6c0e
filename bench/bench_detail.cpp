// Detail stages, each alone at its strongest nominal setting (100), on a
// 4096 x 2731 float image.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pipeline/stages.h"

using vantorix::Adjustments;

namespace {

// Smooth colour variation plus fine noise, values in 0..1, alpha 1.
const cv::Mat& detail_source() {
    static const cv::Mat img = [] {
        cv::RNG rng(2024);
        cv::Mat coarse(43, 64, CV_32FC3), smooth, noise(2731, 4096, CV_32FC3), rgb, out;
        rng.fill(coarse, cv::RNG::UNIFORM, 0.1, 0.9);
        cv::resize(coarse, smooth, cv::Size(4096, 2731), 0, 0, cv::INTER_CUBIC);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, 0.03);
        rgb = smooth + noise;
        cv::threshold(rgb, rgb, 0.0, 0.0, cv::THRESH_TOZERO);
        cv::threshold(rgb, rgb, 1.0, 1.0, cv::THRESH_TRUNC);
        cv::cvtColor(rgb, out, cv::COLOR_RGB2RGBA);  // alpha 1
        return out;
    }();
    return img;
}

void run_stage(benchmark::State& state, void (*stage)(cv::Mat&, const Adjustments&), const Adjustments& adj) {
    cv::Mat img(detail_source().size(), CV_32FC4);
    for (auto _ : state) {
        state.PauseTiming();
        detail_source().copyTo(img);
        state.ResumeTiming();
        stage(img, adj);
        benchmark::DoNotOptimize(img.data);
        benchmark::ClobberMemory();
    }
}

void BM_DetailClarityTexture(benchmark::State& state) {
    Adjustments adj;
    adj.clarity = 100.0f;
    adj.texture = 100.0f;
    run_stage(state, vantorix::apply_clarity_texture, adj);
}

void BM_DetailDehaze(benchmark::State& state) {
    Adjustments adj;
    adj.dehaze = 100.0f;
    run_stage(state, vantorix::apply_dehaze, adj);
}

void BM_DetailNoiseReduction(benchmark::State& state) {
    Adjustments adj;
    adj.nr_luminance = 100.0f;
    adj.nr_color = 100.0f;
    run_stage(state, vantorix::apply_noise_reduction, adj);
}

void BM_DetailSharpen(benchmark::State& state) {
    Adjustments adj;
    adj.sharpen_amount = 100.0f;
    run_stage(state, vantorix::apply_sharpening, adj);
}

}  // namespace

BENCHMARK(BM_DetailClarityTexture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DetailDehaze)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DetailNoiseReduction)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DetailSharpen)->Unit(benchmark::kMillisecond)->UseRealTime();
