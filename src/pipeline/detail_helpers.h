#pragma once
// Helpers shared by the detail stages: clarity and texture, dehaze, noise
// reduction and sharpening.
#include <opencv2/core.hpp>
#include <vector>

#include "engine/working_images.h"

namespace vantorix {

// A setting as the detail stages use it: NaN becomes 0 (neutral), +-infinity
// the largest finite float of that sign, so that no infinity times zero can
// put NaN into the image.
float finite_setting(float value);

// Clamps a float plane to 0..1 in place: THRESH_TOZERO at 0, then
// THRESH_TRUNC at 1.
void clamp_unit(cv::Mat& plane);

// The red, green and blue planes of a CV_32FC4 image (alpha is left out).
std::vector<cv::Mat> color_planes(const cv::Mat& img);

// The stages' work buffers on this thread: those of the development that
// runs here (see UseScratch), else buffers of the thread itself.
ScratchPool& stage_scratch();

// Makes `pool` this thread's stage_scratch() for its lifetime.
class UseScratch {
public:
    explicit UseScratch(ScratchPool& pool);
    ~UseScratch();
    UseScratch(const UseScratch&) = delete;
    UseScratch& operator=(const UseScratch&) = delete;

private:
    ScratchPool* before_;
};

// A float plane of stage_scratch() kept between renders, so that a re-render
// reuses its pages instead of faulting in fresh ones. Slot 0..7; the plane is
// (re)allocated only when the size changes. Valid until the same slot is asked
// for again; never hand it out of a stage.
cv::Mat& scratch_plane(int slot, cv::Size size);

// color_planes into scratch slots 0..2 (see scratch_plane).
std::vector<cv::Mat>& scratch_color_planes(const cv::Mat& img);

// Writes three planes back into channels 0..2 of img; alpha stays as it is.
void store_color_planes(const std::vector<cv::Mat>& planes, cv::Mat& img);

// L = 0.2126 R + 0.7152 G + 0.0722 B from the first three planes (single-
// precision weights used as double factors), one 32-bit float plane. The same
// two library operations as the matrix expression R*wr + G*wg + B*wb
// (addWeighted of the first two, then scaleAdd of the third), without its
// temporary.
cv::Mat luminance_plane(const std::vector<cv::Mat>& planes);
// The same, into `lum` (reused when it already has the size and type).
void luminance_plane(const std::vector<cv::Mat>& planes, cv::Mat& lum);

// The largest kernel a setting may ask for on this image: the larger side,
// made odd by setting its lowest bit.
int kernel_size_bound(const cv::Mat& img);

// Noise-reduction kernel size 3 - 2 t, t = (setting / -100) * steps in single
// precision truncated toward zero; bounded by `bound` (odd). Computed without
// converting an out-of-range float to int. Meant for settings > 0.
int stepped_kernel_size(float setting, float steps, int bound);

// The Gaussian kernel size the library derives from sigma for a float image
// (round(8 sigma + 1) with the lowest bit set), bounded by `bound` (odd).
// Meant for sigma > 0.
int gaussian_kernel_size(float sigma, int bound);

// Dehaze window: integer part of cols * 0.02 (single precision), lowest bit
// set, at least 3.
int haze_window_size(int cols);

// Atmospheric light of the eroded dark channel (CV_32FC1): the mean of its
// brightest 0.1 % (at least one value), summed in single precision in
// descending order, and at least 0.01. The top values are found by partial
// selection; the result equals that of a full descending sort.
float haze_atmospheric_light(const cv::Mat& dark_min);

}  // namespace vantorix
