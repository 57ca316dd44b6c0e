#pragma once
// Shared pieces of the automatic tools: the analysis copy of the loaded image
// and its luminance plane.
#include <opencv2/core.hpp>

#include "engine/image_buffer.h"

namespace vantorix {

// Tallest analysis image, as a multiple of its width. Only photographs more
// than this many times taller than wide are affected; without the bound a
// 1 x 4096 picture would be enlarged to 512 x 2097152 (17 GB of float data).
constexpr int kMaxAnalysisAspect = 8;

// The scale of ImageBuffer::to_float (1/65535); the library's scaled
// conversion applies it in single precision, one rounding per sample.
constexpr double kSampleToFloat = 1.5259021896696422e-5;

// Height of an analysis copy `target_width` pixels wide: rows * target_width
// / cols (product first, quotient truncated), at least 1 and at most
// kMaxAnalysisAspect * target_width.
int analysis_height(int cols, int rows, int target_width);

// The source resampled to exactly width x height with linear interpolation
// (still 16-bit RGBA).
ImageBuffer analysis_buffer(const ImageBuffer& source, int width, int height);

// analysis_buffer converted to CV_32FC4 in 0..1 (to_float).
cv::Mat analysis_image(const ImageBuffer& source, int width, int height);

// The source scaled to `target_width` pixels wide with analysis_height rows,
// as CV_32FC4.
cv::Mat analysis_image(const ImageBuffer& source, int target_width);

// Rec. 709 luminance 0.2126 R + 0.7152 G + 0.0722 B (CV_32FC1), formed as a
// matrix expression over the red, green and blue planes. Takes a CV_32FC4
// image, or a CV_16UC4 one whose planes are converted to float as to_float
// does (the result is the same as for its to_float, without the four-channel
// float copy).
cv::Mat luminance_plane(const cv::Mat& rgba);

}  // namespace vantorix
