// Exposure: a gain of two to the power of the setting, clipped at 1.
#include <math.h>

#include <cfloat>

#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"
#include "pipeline/tone_color_math.h"

namespace vantorix {

void apply_exposure(cv::Mat& img, const Adjustments& adj) {
    if (adj.exposure == 0.0f || std::isnan(adj.exposure)) return;
    float gain = powf(2.0f, adj.exposure);
    // An overflowing gain stays finite so that black stays 0 instead of 0 * inf.
    if (gain > FLT_MAX) gain = FLT_MAX;

    // One pass doing what a scaled conversion of each colour plane (v * gain + 0)
    // followed by a truncation at 1 does; alpha is not touched and there is no
    // lower clamp.
    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            for (int c = 0; c < 3; ++c) {
                const float v = p[c] * gain + 0.0f;
                p[c] = v > 1.0f ? 1.0f : v;
            }
        }
    });
}

}  // namespace vantorix
