// The development driver: float conversion, the fixed order of steps, and the
// two tone steps it does itself (brightness and contrast).
#include "pipeline/detail_helpers.h"
#include "pipeline/pipeline.h"

#include <algorithm>
#include <cmath>

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

    // Memory of our own is written again; anything else is replaced.
    if (!p.own_scratch.holds(p.scratch)) p.scratch.release();
    p.working.mat.convertTo(p.scratch, CV_32F, kToFloat);
    cv::Mat& img = p.scratch;
    if (step_done(1)) return false;
    for (int i = 0; i < kCount; ++i) {
        kSteps[i](img, adj);
        if (step_done(i + 2)) return false;
    }

    p.own_scratch.adopt(img);
    // Written into the previous result's memory when the size is unchanged.
    if (!p.own_processed.holds(p.processed.mat)) p.processed.mat.release();
    img.convertTo(p.processed.mat, CV_16U, 65535.0);
    p.own_processed.adopt(p.processed.mat);
    if (progress) progress->report(stage, 1.0f);  // too late to cancel: the result is stored
    return true;
}

}  // namespace vantorix
