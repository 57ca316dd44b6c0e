// The development driver: float conversion, the fixed order of steps, and the
// two tone steps it does itself (brightness and contrast).
#include "pipeline/detail_helpers.h"
#include "pipeline/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <emmintrin.h>

#include "pipeline/stages.h"

namespace vantorix {

namespace {
constexpr double kToFloat = 1.5259021896696422e-5;  // 1/65535
}

void apply_brightness(cv::Mat& img, const Adjustments& adj) {
    if (adj.brightness == 0.0f) return;
    const float g0 = 1.0f / (adj.brightness / 100.0f * 0.5f + 1.0f);
    // NaN settings give NaN here; std::min/max keep the first argument then,
    // so map it explicitly to the neutral exponent.
    float g = std::max(std::min(g0, 10.0f), 0.1f);
    if (std::isnan(g)) return;
    // Row by row through a small three-channel buffer: the same element-wise
    // cv::pow as on whole planes, without splitting and merging the image.
    const double exponent = static_cast<double>(g);
    cv::Mat rgb(1, img.cols, CV_32FC3);
    float* t = rgb.ptr<float>();
    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x) {
            t[3 * x] = p[4 * x];
            t[3 * x + 1] = p[4 * x + 1];
            t[3 * x + 2] = p[4 * x + 2];
        }
        cv::pow(rgb, exponent, rgb);
        for (int x = 0; x < img.cols; ++x) {
            p[4 * x] = t[3 * x];
            p[4 * x + 1] = t[3 * x + 1];
            p[4 * x + 2] = t[3 * x + 2];
        }
    }
}

void apply_contrast(cv::Mat& img, const Adjustments& adj) {
    if (adj.contrast == 0.0f) return;
    const float k = std::max(adj.contrast / 100.0f * 0.8f + 1.0f, 0.2f);
    if (std::isnan(k)) return;
    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            for (int c = 0; c < 3; ++c) {
                const float d = (p[c] - 0.5f) * k;
                const float v = d / (std::fabs(d) * 0.4f + 1.0f) + 0.5f;
                p[c] = v < 0.0f ? 0.0f : std::min(v, 1.0f);
            }
        }
    }
}

bool shares_block(const cv::Mat& a, const cv::Mat& b) { return a.u != nullptr && a.u == b.u; }

cv::Mat to_16bit_in_place(cv::Mat& f) {
    CV_Assert(f.type() == CV_32FC4 && f.u != nullptr);
    const int rows = f.rows, cols = f.cols;
    uchar* const base = f.data;
    const size_t out_step = static_cast<size_t>(cols) * 4 * sizeof(uint16_t);
    // Row y goes to base + y * out_step, never past the start of float row y
    // (float rows are at least twice as long), and within a row each value is
    // read before its 16-bit result is stored, 8 bytes below its 16: so every
    // float is read before anything is written over it. In order, one thread.
    const __m128 scale = _mm_set1_ps(65535.0f);
    alignas(16) int32_t r[4];
    for (int y = 0; y < rows; ++y) {
        const float* in = f.ptr<float>(y);
        uint16_t* out = reinterpret_cast<uint16_t*>(base + static_cast<size_t>(y) * out_step);
        for (int x = 0; x < cols * 4; x += 4) {
            // The library's conversion: product in single precision, rounded to
            // nearest even by the same instruction (NaN and out-of-range values
            // give INT_MIN), then saturated to 0..65535.
            _mm_store_si128(reinterpret_cast<__m128i*>(r), _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(in + x), scale)));
            for (int k = 0; k < 4; ++k) out[x + k] = static_cast<uint16_t>(r[k] < 0 ? 0 : r[k] > 65535 ? 65535 : r[k]);
        }
    }
    cv::Mat result(rows, cols, CV_16UC4, base, out_step);
    result.u = f.u;  // shares the float image's block and its reference count
    CV_XADD(&result.u->refcount, 1);
    return result;
}

bool run_pipeline(ImagePipeline& p, const Adjustments& adj, Progress* progress, int stage) {
    if (p.working.empty()) return true;
    using Step = void (*)(cv::Mat&, const Adjustments&);
    static const Step kSteps[] = {
        apply_white_balance,    apply_exposure,       apply_brightness,          apply_highlights_shadows,
        apply_whites_blacks,    apply_contrast,       apply_tone_curves,         apply_clarity_texture,
        apply_dehaze,           apply_saturation_vibrance, apply_hsl,            apply_split_toning,
        apply_noise_reduction,  apply_sharpening,     apply_lens_corrections,    apply_geometry,
        apply_vignette,         apply_grain,
    };
    constexpr int kCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
    // Fractions: the float conversion, each step, then the conversion back.
    auto step_done = [&](int done) {
        return progress && progress->report(stage, static_cast<float>(done) / static_cast<float>(kCount + 2));
    };
    if (progress && progress->report(stage, 0.0f)) return false;
    const UseScratch scratch(p.stage_scratch);

    // Memory of our own is written again, unless the last result lives in it;
    // anything else is replaced.
    if (!p.own_scratch.holds(p.scratch) || shares_block(p.scratch, p.processed.mat)) p.scratch.release();
    p.working.mat.convertTo(p.scratch, CV_32F, kToFloat);
    cv::Mat& img = p.scratch;
    if (step_done(1)) return false;
    for (int i = 0; i < kCount; ++i) {
        kSteps[i](img, adj);
        if (step_done(i + 2)) return false;
    }

    // The result takes the float image's own memory: a development never holds
    // the float image and a 16-bit copy of it at once.
    p.processed.mat = to_16bit_in_place(img);
    p.own_scratch.adopt(img);
    if (progress) progress->report(stage, 1.0f);  // too late to cancel: the result is stored
    return true;
}

}  // namespace vantorix
