#pragma once
#include <opencv2/core.hpp>

namespace vantorix {

// 16-bit RGBA image (CV_16UC4, channels red, green, blue, alpha), or empty.
struct ImageBuffer {
    cv::Mat mat;

    ImageBuffer() = default;
    // Accepts empty, CV_16UC4 (deep copy), CV_16UC3, CV_8UC3 and CV_8UC4;
    // throws std::invalid_argument for any other type.
    explicit ImageBuffer(const cv::Mat& src);

    bool empty() const { return mat.empty(); }
    int cols() const { return mat.cols; }
    int rows() const { return mat.rows; }

    cv::Mat to_8bit() const;       // CV_8UC4, each sample / 257 rounded
    // Row y as to_8bit converts it, into `out` (one row, reused when it fits).
    void row_to_8bit(int y, cv::Mat& out) const;
    cv::Mat to_float() const;      // CV_32FC4, each sample / 65535
    cv::Mat to_16bit_rgb() const;  // CV_16UC3, alpha dropped
    ImageBuffer resized(int width, int height, int interpolation) const;

    // Takes ownership of a freshly made CV_16UC4 matrix without copying it.
    static ImageBuffer adopt(cv::Mat rgba16);
};

// The heights the analysis tools ask for: rows * target / cols in 32-bit
// integer arithmetic, never below 1.
int scaled_height(int cols, int rows, int target_width);

// cv::resize of `src` by `factor` on both axes with area interpolation, except
// that a side OpenCV would round to 0 pixels is kept at 1 (a 100000 x 1
// picture then still has a row).
cv::Mat resize_by_factor(const cv::Mat& src, double factor);

}  // namespace vantorix
