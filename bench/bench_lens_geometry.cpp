// Lens corrections, geometry, vignette and grain on a 4096 x 2731 image.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "pipeline/stages.h"

namespace {

using vantorix::Adjustments;

// Fixed: the untimed copy per iteration would otherwise multiply for fast stages.
constexpr int kIterations = 5;

const cv::Mat& source_image() {
    static const cv::Mat img = [] {
        cv::Mat m(2731, 4096, CV_32FC4);
        cv::RNG rng(2024);
        rng.fill(m, cv::RNG::UNIFORM, 0.0, 1.0);
        return m;
    }();
    return img;
}

// Times one stage on a fresh copy of the source per iteration. The copy goes
// into a buffer allocated once and is not timed; a stage that replaces the
// image (resampling, crop) only replaces the header `img`.
void run_stage(benchmark::State& state, void (*stage)(cv::Mat&, const Adjustments&), const Adjustments& adj) {
    const cv::Mat& src = source_image();
    cv::Mat work = src.clone();
    for (auto _ : state) {
        state.PauseTiming();
        src.copyTo(work);
        cv::Mat img = work;
        state.ResumeTiming();
        stage(img, adj);
        benchmark::DoNotOptimize(img.data);
    }
}

Adjustments with(void (*set)(Adjustments&)) {
    Adjustments adj;
    set(adj);
    return adj;
}

// Reference: one plain copy of the image (what a single pass over it costs).
void BM_LensGeometryCopyReference(benchmark::State& s) {
    const cv::Mat& src = source_image();
    cv::Mat img = src.clone();
    for (auto _ : s) {
        src.copyTo(img);
        benchmark::DoNotOptimize(img.data);
    }
}

void BM_LensDistortion(benchmark::State& s) {
    run_stage(s, vantorix::apply_lens_corrections, with([](Adjustments& a) { a.distortion = 60; }));
}
void BM_LensChromaticAberration(benchmark::State& s) {
    run_stage(s, vantorix::apply_lens_corrections, with([](Adjustments& a) { a.ca_correction = 100; }));
}
void BM_LensVignette(benchmark::State& s) {
    run_stage(s, vantorix::apply_lens_corrections, with([](Adjustments& a) { a.lens_vignette = 100; }));
}
void BM_LensDefringe(benchmark::State& s) {
    run_stage(s, vantorix::apply_lens_corrections, with([](Adjustments& a) { a.defringe = 100; }));
}
void BM_LensAllFour(benchmark::State& s) {
    run_stage(s, vantorix::apply_lens_corrections, with([](Adjustments& a) {
                  a.distortion = 60;
                  a.ca_correction = 100;
                  a.lens_vignette = 100;
                  a.defringe = 100;
              }));
}
void BM_GeometryFlips(benchmark::State& s) {
    run_stage(s, vantorix::apply_geometry, with([](Adjustments& a) { a.flip_h = a.flip_v = 1; }));
}
void BM_GeometryRotation(benchmark::State& s) {
    run_stage(s, vantorix::apply_geometry, with([](Adjustments& a) { a.rotation = 7.5f; }));
}
void BM_GeometryPerspective(benchmark::State& s) {
    run_stage(s, vantorix::apply_geometry, with([](Adjustments& a) {
                  a.perspective_h = 60;
                  a.perspective_v = -40;
              }));
}
void BM_GeometryCrop(benchmark::State& s) {
    run_stage(s, vantorix::apply_geometry, with([](Adjustments& a) { a.crop = {0.1f, 0.1f, 0.8f, 0.8f}; }));
}
void BM_Vignette(benchmark::State& s) {
    run_stage(s, vantorix::apply_vignette, with([](Adjustments& a) {
                  a.vignette_amount = 80;
                  a.vignette_roundness = -50;
              }));
}
void BM_VignetteNegative(benchmark::State& s) {
    run_stage(s, vantorix::apply_vignette, with([](Adjustments& a) { a.vignette_amount = -80; }));
}
void BM_GrainSize25(benchmark::State& s) {
    run_stage(s, vantorix::apply_grain, with([](Adjustments& a) { a.grain_amount = 100; }));
}
void BM_GrainSize100(benchmark::State& s) {
    run_stage(s, vantorix::apply_grain, with([](Adjustments& a) {
                  a.grain_amount = 100;
                  a.grain_size = 100;
              }));
}
void BM_GrainUnblurred(benchmark::State& s) {
    run_stage(s, vantorix::apply_grain, with([](Adjustments& a) {
                  a.grain_amount = 100;
                  a.grain_size = 1;
              }));
}

}  // namespace

BENCHMARK(BM_LensGeometryCopyReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_LensDistortion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_LensChromaticAberration)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_LensVignette)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_LensDefringe)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_LensAllFour)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GeometryFlips)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GeometryRotation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GeometryPerspective)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GeometryCrop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_Vignette)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_VignetteNegative)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GrainSize25)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GrainSize100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_GrainUnblurred)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
