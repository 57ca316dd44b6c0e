#include "engine/histogram.h"

#include <algorithm>

namespace vantorix {

namespace {
inline int histogram_bin(float v) {
    const float t = v * 255.0f + 0.5f;
    // Compare before converting, so NaN and huge values never reach the cast.
    if (!(t >= 1.0f)) return 0;
    if (t >= 255.0f) return 255;
    return static_cast<int>(t);
}
}  // namespace

void compute_histogram(const cv::Mat& image, uint32_t* red, uint32_t* green, uint32_t* blue,
                       uint32_t* luminance) {
    std::fill(red, red + 256, 0u);
    std::fill(green, green + 256, 0u);
    std::fill(blue, blue + 256, 0u);
    std::fill(luminance, luminance + 256, 0u);
    CV_Assert(image.empty() || image.type() == CV_32FC4);
    for (int y = 0; y < image.rows; ++y) {
        const float* p = image.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x, p += 4) {
            const float r = p[0], g = p[1], b = p[2];
            const float lum = (0.7152f * g + 0.2126f * r) + 0.0722f * b;
            ++red[histogram_bin(r)];
            ++green[histogram_bin(g)];
            ++blue[histogram_bin(b)];
            ++luminance[histogram_bin(lum)];
        }
    }
}

}  // namespace vantorix
