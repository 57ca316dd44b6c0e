#include "analysis/analysis_common.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace vantorix {

int analysis_height(int cols, int rows, int target_width) {
    const int h = scaled_height(cols, rows, target_width);
    return std::min(h, kMaxAnalysisAspect * target_width);
}

cv::Mat analysis_image(const ImageBuffer& source, int width, int height) {
    return source.resized(width, height, cv::INTER_LINEAR).to_float();
}

cv::Mat analysis_image(const ImageBuffer& source, int target_width) {
    return analysis_image(source, target_width, analysis_height(source.cols(), source.rows(), target_width));
}

cv::Mat luminance_plane(const cv::Mat& rgba) {
    CV_Assert(rgba.type() == CV_32FC4);
    std::vector<cv::Mat> planes;
    cv::split(rgba, planes);
    const double wr = 0.2126f, wg = 0.7152f, wb = 0.0722f;
    cv::Mat lum = planes[0] * wr + planes[1] * wg + planes[2] * wb;
    return lum;
}

}  // namespace vantorix
