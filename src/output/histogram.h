#pragma once
#include <cstdint>
#include <opencv2/core.hpp>

#include "engine/adjustments.h"
#include "engine/context.h"
#include "engine/histogram.h"  // compute_histogram, which the read-out uses

namespace vantorix {

// Blends a blurred copy of an 8-bit RGBA preview behind the subject mask
// (255 keeps the sharp pixel). Exposed for tests.
cv::Mat blur_background(const cv::Mat& preview, const cv::Mat& mask, float bg_blur);

// The subject mask laid on the developed picture: brought to the working
// image's size (linear interpolation, when it differs), then moved by the
// distortion and geometry settings as the picture is, so it has the developed
// size and covers the subject where the development put it. A copy: the
// stored mask is not changed.
cv::Mat mask_on_development(const cv::Mat& mask, cv::Size working, const Adjustments& adj);

// The preview pixels of a development: `processed` in 8-bit RGBA, with the
// background blurred behind the subject when a mask and a blur are set.
// Written into `out` (CV_8UC4 of the processed size; its memory is kept).
void render_preview(const EngineContext& ctx, const ImageBuffer& processed, cv::Mat& out);

// Kernel size of the background blur for an amount in 0..100.
int background_blur_kernel(float bg_blur);

}  // namespace vantorix
