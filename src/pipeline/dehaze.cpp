// Dehaze: dark-channel haze removal. A hazy value is I = J t + A (1 - t) with
// one atmospheric light level A and a per-pixel transmission t; the stage
// estimates both from the dark channel and solves for the clear value J.
#include <algorithm>
#include <cfloat>
#include <opencv2/imgproc.hpp>

#include "pipeline/detail_helpers.h"
#include "pipeline/row_parallel.h"
#include "pipeline/stages.h"

namespace vantorix {

void apply_dehaze(cv::Mat& img, const Adjustments& adj) {
    if (!(adj.dehaze > 0.0f) || img.empty()) return;  // zero, negative and NaN settings do nothing
    CV_Assert(img.type() == CV_32FC4);
    const float s = std::min(adj.dehaze, FLT_MAX) / 100.0f;

    // Dark channel: min(min(R, G), B) per pixel.
    // Kept in this thread's scratch plane: a re-render touches no fresh pages.
    cv::Mat& dark = scratch_plane(0, img.size());
    for_each_row(img.rows, [&](int y) {
        const float* p = img.ptr<float>(y);
        float* d = dark.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) d[x] = std::min(std::min(p[0], p[1]), p[2]);
    });

    // Local minimum over a w x w window; the constant border is the largest
    // value, so it never wins.
    const int w = haze_window_size(img.cols);
    cv::erode(dark, dark, cv::Mat::ones(w, w, CV_8U), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::morphologyDefaultBorderValue());

    const float a_light = haze_atmospheric_light(dark);

    // Transmission 1 - (0.95 s) Dmin / A, smoothed; it takes the place of Dmin.
    cv::Mat& t = dark;
    t = 1.0 - static_cast<double>(0.95f * s) * dark / static_cast<double>(a_light);
    cv::GaussianBlur(t, t, cv::Size(0, 0), 5.0, 0.0, cv::BORDER_REFLECT_101);

    // Recovery with t bounded below by 0.1: (v - A) / t + A, clamped to 0..1
    // (THRESH_TOZERO at 0, then THRESH_TRUNC at 1). Alpha is not read.
    for_each_row(img.rows, [&](int y) {
        float* p = img.ptr<float>(y);
        const float* tr = t.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            const float tt = tr[x] < 0.1f ? 0.1f : tr[x];
            for (int c = 0; c < 3; ++c) {
                float v = (p[c] - a_light) / tt + a_light;
                v = v > 0.0f ? v : 0.0f;
                p[c] = v > 1.0f ? 1.0f : v;
            }
        }
    });
}

}  // namespace vantorix
