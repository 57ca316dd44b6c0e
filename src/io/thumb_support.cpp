#include "io/thumb_support.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "engine/image_buffer.h"

namespace vantorix {

cv::Mat thumb_bitmap_to_8bit(const libraw_processed_image_t& img) {
    if (img.type != LIBRAW_IMAGE_BITMAP || img.width == 0 || img.height == 0) return cv::Mat();
    const int colors = img.colors, bits = img.bits;
    if ((colors != 1 && colors != 3) || (bits != 8 && bits != 16)) return cv::Mat();
    const size_t needed = static_cast<size_t>(img.width) * img.height * static_cast<size_t>(colors) *
                          static_cast<size_t>(bits / 8);
    if (static_cast<size_t>(img.data_size) < needed) return cv::Mat();
    const cv::Mat wrapped(img.height, img.width, CV_MAKETYPE(bits == 16 ? CV_16U : CV_8U, colors),
                          const_cast<unsigned char*>(img.data));
    cv::Mat out;
    if (bits == 16)
        wrapped.convertTo(out, CV_8U, 1.0 / 257.0);
    else
        out = wrapped.clone();
    return out;
}

cv::Mat reduce_to_longer_side(const cv::Mat& image, int limit) {
    const int longer = std::max(image.cols, image.rows);
    if (longer <= limit) return image;
    return resize_by_factor(image, static_cast<float>(limit) / static_cast<float>(longer));
}

}  // namespace vantorix
