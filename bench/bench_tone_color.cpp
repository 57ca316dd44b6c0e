// Tone and colour stages, each alone, on a 4096 x 2731 float image.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <opencv2/core.hpp>

#include "pipeline/stages.h"

namespace {

// A photo-like test card: smooth colour and brightness gradients with a
// little noise, values 0..1, alpha 1. (Uniform random pixels would make every
// per-pixel branch unpredictable, which real photographs do not.)
cv::Mat make_image(bool noise_only) {
    cv::Mat m(2731, 4096, CV_32FC4);
    cv::RNG rng(12345);
    if (noise_only) {
        rng.fill(m, cv::RNG::UNIFORM, cv::Scalar::all(0.0), cv::Scalar::all(1.0));
        return m;
    }
    for (int y = 0; y < m.rows; ++y) {
        cv::Vec4f* p = m.ptr<cv::Vec4f>(y);
        const float fy = static_cast<float>(y) / m.rows;
        for (int x = 0; x < m.cols; ++x) {
            const float fx = static_cast<float>(x) / m.cols;
            const float n = rng.uniform(-0.02f, 0.02f);
            const float r = 0.5f + 0.45f * std::sin(6.2832f * (fx + 0.3f * fy));
            const float g = 0.5f + 0.45f * std::sin(6.2832f * (fx + 0.3f * fy) + 2.0944f);
            const float b = 0.5f + 0.45f * std::sin(6.2832f * (fx + 0.3f * fy) + 4.1888f);
            const float light = 0.15f + 0.85f * fy;
            p[x] = {std::min(std::max(r * light + n, 0.0f), 1.0f), std::min(std::max(g * light + n, 0.0f), 1.0f),
                    std::min(std::max(b * light + n, 0.0f), 1.0f), 1.0f};
        }
    }
    return m;
}

const cv::Mat& bench_image() {
    static const cv::Mat img = make_image(std::getenv("VANTORIX_BENCH_NOISE") != nullptr);
    return img;
}

void run_stage(benchmark::State& state, void (*stage)(cv::Mat&, const vantorix::Adjustments&),
               const vantorix::Adjustments& adj) {
    const cv::Mat& src = bench_image();
    cv::Mat img(src.size(), src.type());
    for (auto _ : state) {
        state.PauseTiming();
        src.copyTo(img);
        state.ResumeTiming();
        stage(img, adj);
        benchmark::DoNotOptimize(img.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(src.total()));
}

void BM_ToneWhiteBalance(benchmark::State& state) {
    vantorix::Adjustments a;  // 5500 K by default
    a.tint = 20.0f;
    run_stage(state, vantorix::apply_white_balance, a);
}
void BM_ToneExposure(benchmark::State& state) {
    vantorix::Adjustments a;
    a.exposure = 0.7f;
    run_stage(state, vantorix::apply_exposure, a);
}
void BM_ToneHighlightsShadows(benchmark::State& state) {
    vantorix::Adjustments a;
    a.highlights = -40.0f;
    a.shadows = 50.0f;
    run_stage(state, vantorix::apply_highlights_shadows, a);
}
void BM_ToneWhitesBlacks(benchmark::State& state) {
    vantorix::Adjustments a;
    a.whites = 30.0f;
    a.blacks = -20.0f;
    run_stage(state, vantorix::apply_whites_blacks, a);
}
void BM_ToneCurves(benchmark::State& state) {
    vantorix::Adjustments a;
    a.tone_curves[0] = {{0.0f, 0.0f}, {0.25f, 0.2f}, {0.75f, 0.85f}, {1.0f, 1.0f}};
    a.tone_curves[1] = {{0.0f, 0.05f}, {1.0f, 0.95f}};
    run_stage(state, vantorix::apply_tone_curves, a);
}
void BM_ColorSaturationVibrance(benchmark::State& state) {
    vantorix::Adjustments a;
    a.saturation = 25.0f;
    a.vibrance = 40.0f;
    run_stage(state, vantorix::apply_saturation_vibrance, a);
}
void BM_ColorHsl(benchmark::State& state) {
    vantorix::Adjustments a;
    a.hsl[0] = {20.0f, 10.0f, -5.0f};
    a.hsl[3] = {-15.0f, 30.0f, 10.0f};
    a.hsl[5] = {10.0f, -20.0f, 15.0f};
    run_stage(state, vantorix::apply_hsl, a);
}
void BM_ColorSplitToning(benchmark::State& state) {
    vantorix::Adjustments a;
    a.split_highlight_hue = 40.0f;
    a.split_highlight_saturation = 30.0f;
    a.split_shadow_hue = 220.0f;
    a.split_shadow_saturation = 40.0f;
    a.split_balance = 10.0f;
    run_stage(state, vantorix::apply_split_toning, a);
}

}  // namespace

BENCHMARK(BM_ToneWhiteBalance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneExposure)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneHighlightsShadows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneWhitesBlacks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneCurves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorSaturationVibrance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorHsl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorSplitToning)->Unit(benchmark::kMillisecond);
