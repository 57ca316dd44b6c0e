// Tone regions: highlights and shadows, whites and blacks.
#include <math.h>

#include <algorithm>

#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"

namespace vantorix {

using tonemath::clamp01;

void apply_highlights_shadows(cv::Mat& img, const Adjustments& adj) {
    const float highlights = tonemath::or_zero(adj.highlights);
    const float shadows = tonemath::or_zero(adj.shadows);
    if (highlights == 0.0f && shadows == 0.0f) return;
    const float h = highlights / 100.0f;
    const float s = shadows / 100.0f;

    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            const float lum = std::max(1e-6f, tonemath::luminance(p[0], p[1], p[2]));
            if (s != 0.0f && lum < 0.5f) {
                const float d = (0.5f - lum) * 2.0f;
                const float den = d * d * d * s * 1.5f + 1.0f;
                // Strong negative shadows drive the denominator to 0 and below for
                // the darkest pixels: they get the strongest darkening (gamma 3)
                // instead of flipping to a lift.
                float gamma = 3.0f;
                if (den > 0.0f) gamma = std::max(std::min(1.0f / den, 3.0f), 0.3f);
                p[0] = clamp01(powf(p[0], gamma));
                p[1] = clamp01(powf(p[1], gamma));
                p[2] = clamp01(powf(p[2], gamma));
            }
            if (h != 0.0f && lum > 0.5f) {
                const float e = (lum - 0.5f) * 2.0f;
                const float k = std::max(std::min(e * e * h * 0.4f + 1.0f, 2.0f), 0.3f);
                p[0] = clamp01(k * p[0]);
                p[1] = clamp01(k * p[1]);
                p[2] = clamp01(k * p[2]);
            }
        }
    });
}

void apply_whites_blacks(cv::Mat& img, const Adjustments& adj) {
    const float whites = tonemath::or_zero(adj.whites);
    const float blacks = tonemath::or_zero(adj.blacks);
    if (whites == 0.0f && blacks == 0.0f) return;
    const float wp = whites / 100.0f * 0.2f + 1.0f;
    const float bp = blacks / 100.0f * 0.1f;
    const float range = wp - bp;

    if (!(range >= 1e-6f)) {
        // No usable range between the black and the white point: a hard
        // threshold at the black point instead of a division by ~0 or an
        // inverted image.
        for_each_row(img.rows, [&](int y) {
            float* p = img.ptr<float>(y);
            for (int x = 0; x < img.cols; ++x, p += 4)
                for (int c = 0; c < 3; ++c) p[c] = p[c] > bp ? 1.0f : 0.0f;
        });
        return;
    }

    // (v - bp) / range as OpenCV evaluates that matrix expression: one scaled
    // conversion with alpha = 1 / range and beta = -bp / range (doubles). Each
    // row goes through the same conversion into a scratch row, so every sample
    // is computed exactly as in the whole-plane form; then the colour samples
    // are limited to 0..1 (to zero at 0, truncated at 1) and alpha is kept.
    const double inv_range = 1.0 / static_cast<double>(range);
    const double beta = -static_cast<double>(bp) * inv_range;
    // Rows are split among threads; each range has its own scratch row.
    cv::parallel_for_(cv::Range(0, img.rows), [&](const cv::Range& range) {
    cv::Mat scratch(1, img.cols * 4, CV_32F);
    for (int y = range.start; y < range.end; ++y) {
        float* p = img.ptr<float>(y);
        const cv::Mat row(1, img.cols * 4, CV_32F, p);
        row.convertTo(scratch, CV_32F, inv_range, beta);
        const float* q = scratch.ptr<float>(0);
        for (int x = 0; x < img.cols; ++x, p += 4, q += 4) {
            for (int c = 0; c < 3; ++c) {
                float v = q[c] > 0.0f ? q[c] : 0.0f;
                p[c] = v > 1.0f ? 1.0f : v;
            }
        }
    }
    });
}

}  // namespace vantorix
