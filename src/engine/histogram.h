#pragma once
#include <cstdint>
#include <opencv2/core.hpp>

namespace vantorix {

// Four 256-bin counts (red, green, blue, Rec. 709 luminance) of a CV_32FC4
// image; each value v falls in bin round(v * 255), values below 0 (and NaN) in
// bin 0, values above 1 in bin 255. Used by the histogram read-out and by
// auto enhance.
void compute_histogram(const cv::Mat& image, uint32_t* red, uint32_t* green, uint32_t* blue, uint32_t* luminance);

}  // namespace vantorix
