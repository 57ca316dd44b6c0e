#pragma once
#include <cstdint>
#include <opencv2/core.hpp>

#include "engine/histogram.h"  // compute_histogram, which the read-out uses

namespace vantorix {

// Blends a blurred copy of an 8-bit RGBA preview behind the subject mask
// (255 keeps the sharp pixel). Exposed for tests.
cv::Mat blur_background(const cv::Mat& preview, const cv::Mat& mask, float bg_blur);

// Kernel size of the background blur for an amount in 0..100.
int background_blur_kernel(float bg_blur);

}  // namespace vantorix
