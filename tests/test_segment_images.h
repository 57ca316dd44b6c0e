#pragma once
// Synthetic photographs with a clear subject for the segmentation tests.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "support/test_support.h"

namespace segtest {

// A textured orange disc on a textured blue-green background (8-bit BGR).
// Texture comes from a private generator, so building an image never touches
// OpenCV's per-thread generator.
inline cv::Mat disc_image(int width, int height, cv::Point2f centre, float radius, uint64_t seed = 7) {
    cv::RNG rng(seed);
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        cv::Vec3b* row = img.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            const float dx = static_cast<float>(x) - centre.x, dy = static_cast<float>(y) - centre.y;
            const bool inside = dx * dx + dy * dy <= radius * radius;
            const int n = rng.uniform(-25, 26);
            const int stripe = ((x / 6 + y / 9) % 2) ? 12 : -12;
            if (inside)  // B, G, R
                row[x] = cv::Vec3b(cv::saturate_cast<uchar>(40 + n), cv::saturate_cast<uchar>(110 + n + stripe),
                                   cv::saturate_cast<uchar>(220 + n));
            else
                row[x] = cv::Vec3b(cv::saturate_cast<uchar>(170 + n + stripe), cv::saturate_cast<uchar>(140 + n),
                                   cv::saturate_cast<uchar>(40 + n));
        }
    }
    return img;
}

// The true disc as 0/255.
inline cv::Mat disc_truth(int width, int height, cv::Point2f centre, float radius) {
    cv::Mat t(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float dx = static_cast<float>(x) - centre.x, dy = static_cast<float>(y) - centre.y;
            t.at<uchar>(y, x) = dx * dx + dy * dy <= radius * radius ? 255 : 0;
        }
    return t;
}

// Intersection over union of (mask >= 128) and (truth != 0).
inline double iou(const cv::Mat& mask, const cv::Mat& truth) {
    long long inter = 0, uni = 0;
    for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x) {
            const bool a = mask.at<uchar>(y, x) >= 128, b = truth.at<uchar>(y, x) != 0;
            inter += a && b;
            uni += a || b;
        }
    return uni ? static_cast<double>(inter) / static_cast<double>(uni) : 0.0;
}

// Writes `bgr` as a PNG under the test folder and loads it into ctx.
inline bool load_png(EngineContext* ctx, const cv::Mat& bgr, const std::string& name) {
    const std::string path = testsupport::temp_path(name);
    if (!cv::imwrite(path, bgr)) return false;
    return vantorix_load_arw(ctx, path.c_str(), 1) == 0;
}

// The stored mask read through vantorix_get_mask (empty on failure).
inline cv::Mat read_mask(EngineContext* ctx, int width, int height) {
    cv::Mat m(height, width, CV_8UC1);
    if (vantorix_get_mask(ctx, m.data, static_cast<int>(m.total())) != 0) return cv::Mat();
    return m;
}

}  // namespace segtest
