// The development driver: float conversion, the fixed order of steps, and the
// two tone steps it does itself (brightness and contrast).
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

void run_pipeline(ImagePipeline& p, const Adjustments& adj) {
    if (p.working.empty()) return;
    // Memory of our own is written again; anything else is replaced.
    if (!p.own_scratch.holds(p.scratch)) p.scratch.release();
    p.working.mat.convertTo(p.scratch, CV_32F, kToFloat);
    cv::Mat& img = p.scratch;

    apply_white_balance(img, adj);
    apply_exposure(img, adj);
    apply_brightness(img, adj);
    apply_highlights_shadows(img, adj);
    apply_whites_blacks(img, adj);
    apply_contrast(img, adj);
    apply_tone_curves(img, adj);
    apply_clarity_texture(img, adj);
    apply_dehaze(img, adj);
    apply_saturation_vibrance(img, adj);
    apply_hsl(img, adj);
    apply_split_toning(img, adj);
    apply_noise_reduction(img, adj);
    apply_sharpening(img, adj);
    apply_lens_corrections(img, adj);
    apply_geometry(img, adj);
    apply_vignette(img, adj);
    apply_grain(img, adj);

    p.own_scratch.adopt(img);
    // Written into the previous result's memory when the size is unchanged.
    if (!p.own_processed.holds(p.processed.mat)) p.processed.mat.release();
    img.convertTo(p.processed.mat, CV_16U, 65535.0);
    p.own_processed.adopt(p.processed.mat);
}

}  // namespace vantorix
