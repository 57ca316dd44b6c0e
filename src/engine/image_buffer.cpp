#include "engine/image_buffer.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace vantorix {

namespace {
constexpr double kTo8Bit = 0.0038910505836575876;    // 1/257
constexpr double kToFloat = 1.5259021896696422e-5;   // 1/65535
}  // namespace

ImageBuffer::ImageBuffer(const cv::Mat& src) {
    if (src.empty()) return;
    switch (src.type()) {
        case CV_16UC4:
            mat = src.clone();
            break;
        case CV_16UC3:
            // Adds a fourth channel at 65535 without reordering the first three.
            cv::cvtColor(src, mat, cv::COLOR_RGB2RGBA);
            break;
        case CV_8UC3: {
            cv::Mat wide;
            src.convertTo(wide, CV_16U, 257.0);
            cv::cvtColor(wide, mat, cv::COLOR_RGB2RGBA);
            break;
        }
        case CV_8UC4:
            src.convertTo(mat, CV_16U, 257.0);
            break;
        default:
            throw std::invalid_argument("ImageBuffer: unsupported cv::Mat type");
    }
}

ImageBuffer ImageBuffer::adopt(cv::Mat rgba16) {
    if (!rgba16.empty() && rgba16.type() != CV_16UC4)
        throw std::invalid_argument("ImageBuffer: unsupported cv::Mat type");
    ImageBuffer b;
    b.mat = std::move(rgba16);
    return b;
}

cv::Mat ImageBuffer::to_8bit() const {
    cv::Mat out;
    mat.convertTo(out, CV_8U, kTo8Bit);
    return out;
}

void ImageBuffer::row_to_8bit(int y, cv::Mat& out) const { mat.row(y).convertTo(out, CV_8U, kTo8Bit); }

cv::Mat ImageBuffer::to_float() const {
    cv::Mat out;
    mat.convertTo(out, CV_32F, kToFloat);
    return out;
}

cv::Mat ImageBuffer::to_16bit_rgb() const {
    cv::Mat out;
    if (mat.empty()) return out;
    cv::cvtColor(mat, out, cv::COLOR_RGBA2RGB);
    return out;
}

ImageBuffer ImageBuffer::resized(int width, int height, int interpolation) const {
    cv::Mat out;
    cv::resize(mat, out, cv::Size(width, height), 0, 0, interpolation);
    return ImageBuffer::adopt(std::move(out));
}

int scaled_height(int cols, int rows, int target_width) {
    if (cols <= 0 || rows <= 0) return 0;
    long long h = static_cast<long long>(rows) * target_width / cols;
    if (h < 1) h = 1;
    if (h > 0x7fffffff) h = 0x7fffffff;
    return static_cast<int>(h);
}

cv::Mat resize_by_factor(const cv::Mat& src, double factor) {
    // The size OpenCV derives from the factor.
    const int w = cv::saturate_cast<int>(src.cols * factor), h = cv::saturate_cast<int>(src.rows * factor);
    cv::Mat out;
    if (w >= 1 && h >= 1)
        cv::resize(src, out, cv::Size(), factor, factor, cv::INTER_AREA);
    else
        cv::resize(src, out, cv::Size(std::max(w, 1), std::max(h, 1)), 0, 0, cv::INTER_AREA);
    return out;
}

}  // namespace vantorix
