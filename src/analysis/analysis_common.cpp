#include "analysis/analysis_common.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace vantorix {

int analysis_height(int cols, int rows, int target_width) {
    const int h = scaled_height(cols, rows, target_width);
    return std::min(h, kMaxAnalysisAspect * target_width);
}

ImageBuffer analysis_buffer(const ImageBuffer& source, int width, int height) {
    return source.resized(width, height, cv::INTER_LINEAR);
}

cv::Mat analysis_image(const ImageBuffer& source, int width, int height) {
    return analysis_buffer(source, width, height).to_float();
}

cv::Mat analysis_image(const ImageBuffer& source, int target_width) {
    return analysis_image(source, target_width, analysis_height(source.cols(), source.rows(), target_width));
}

cv::Mat luminance_plane(const cv::Mat& rgba) {
    CV_Assert(rgba.type() == CV_32FC4 || rgba.type() == CV_16UC4);
    // The red, green and blue planes in one pass (alpha is not needed). From
    // 16 bits each sample is v * (float)(1/65535), the single rounding the
    // library's scaled conversion makes.
    cv::Mat r(rgba.size(), CV_32F), g(rgba.size(), CV_32F), b(rgba.size(), CV_32F);
    const float k = static_cast<float>(kSampleToFloat);
    for (int y = 0; y < rgba.rows; ++y) {
        float* pr = r.ptr<float>(y);
        float* pg = g.ptr<float>(y);
        float* pb = b.ptr<float>(y);
        if (rgba.depth() == CV_32F) {
            const float* p = rgba.ptr<float>(y);
            for (int x = 0; x < rgba.cols; ++x, p += 4) {
                pr[x] = p[0];
                pg[x] = p[1];
                pb[x] = p[2];
            }
        } else {
            const uint16_t* p = rgba.ptr<uint16_t>(y);
            for (int x = 0; x < rgba.cols; ++x, p += 4) {
                pr[x] = static_cast<float>(p[0]) * k;
                pg[x] = static_cast<float>(p[1]) * k;
                pb[x] = static_cast<float>(p[2]) * k;
            }
        }
    }
    const double wr = 0.2126f, wg = 0.7152f, wb = 0.0722f;
    cv::Mat lum = r * wr + g * wg + b * wb;
    return lum;
}

}  // namespace vantorix
