// Helpers shared by the detail stages.
#include "pipeline/detail_helpers.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <opencv2/imgproc.hpp>

namespace vantorix {

float finite_setting(float value) {
    if (std::isnan(value)) return 0.0f;
    return std::min(std::max(value, -FLT_MAX), FLT_MAX);
}

void clamp_unit(cv::Mat& plane) {
    cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
    cv::threshold(plane, plane, 1.0, 1.0, cv::THRESH_TRUNC);
}

std::vector<cv::Mat> color_planes(const cv::Mat& img) {
    CV_Assert(img.type() == CV_32FC4);
    std::vector<cv::Mat> planes(3);
    for (cv::Mat& p : planes) p.create(img.size(), CV_32FC1);
    static const int from_to[] = {0, 0, 1, 1, 2, 2};
    cv::mixChannels(std::vector<cv::Mat>{img}, planes, from_to, 3);
    return planes;
}

namespace {
ScratchPool*& current_scratch() {
    thread_local ScratchPool* pool = nullptr;
    return pool;
}
}  // namespace

ScratchPool& stage_scratch() {
    thread_local ScratchPool own;
    ScratchPool* pool = current_scratch();
    return pool ? *pool : own;
}

UseScratch::UseScratch(ScratchPool& pool) : before_(current_scratch()) { current_scratch() = &pool; }

UseScratch::~UseScratch() { current_scratch() = before_; }

cv::Mat& scratch_plane(int slot, cv::Size size) {
    CV_Assert(slot >= 0 && slot < 8);
    cv::Mat& m = stage_scratch().slots[slot];
    m.create(size, CV_32FC1);  // keeps the memory when size and type match
    return m;
}

std::vector<cv::Mat>& scratch_color_planes(const cv::Mat& img) {
    CV_Assert(img.type() == CV_32FC4);
    std::vector<cv::Mat>& planes = stage_scratch().planes;
    for (int c = 0; c < 3; ++c) planes[c] = scratch_plane(c, img.size());
    static const int from_to[] = {0, 0, 1, 1, 2, 2};
    cv::mixChannels(std::vector<cv::Mat>{img}, planes, from_to, 3);
    return planes;
}

void store_color_planes(const std::vector<cv::Mat>& planes, cv::Mat& img) {
    static const int from_to[] = {0, 0, 1, 1, 2, 2};
    std::vector<cv::Mat> dst{img};
    cv::mixChannels(planes, dst, from_to, 3);
}

cv::Mat luminance_plane(const std::vector<cv::Mat>& planes) {
    cv::Mat lum;
    luminance_plane(planes, lum);
    return lum;
}

void luminance_plane(const std::vector<cv::Mat>& planes, cv::Mat& lum) {
    cv::addWeighted(planes[0], static_cast<double>(0.2126f), planes[1], static_cast<double>(0.7152f), 0.0, lum);
    cv::scaleAdd(planes[2], static_cast<double>(0.0722f), lum, lum);
}

int kernel_size_bound(const cv::Mat& img) { return std::max(std::max(img.rows, img.cols), 1) | 1; }

int stepped_kernel_size(float setting, float steps, int bound) {
    const float t = std::trunc((setting / -100.0f) * steps);
    const double k = 3.0 - 2.0 * static_cast<double>(t);
    if (!(k < static_cast<double>(bound))) return bound;  // huge, infinite (or NaN) settings
    if (k < 1.0) return 1;
    return static_cast<int>(k);
}

int gaussian_kernel_size(float sigma, int bound) {
    const double k = static_cast<double>(sigma) * 4 * 2 + 1;
    if (!(k < static_cast<double>(bound))) return bound;
    if (k < 1.0) return 1;
    return cvRound(k) | 1;
}

int haze_window_size(int cols) {
    const int w = static_cast<int>(static_cast<float>(cols) * 0.02f) | 1;
    return std::max(w, 3);
}

namespace {

// Orders the bit patterns of non-NaN floats like their values (-0 just below +0).
inline uint32_t order_key(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

}  // namespace

float haze_atmospheric_light(const cv::Mat& dark_min) {
    CV_Assert(dark_min.type() == CV_32FC1 && !dark_min.empty());
    const size_t total = dark_min.total();
    const size_t n = static_cast<size_t>(std::max(1, static_cast<int>(static_cast<float>(total) * 0.001f)));

    // Counts per top 16 bits of the order key; NaN never ranks among the brightest.
    std::vector<size_t> hist(size_t{1} << 16, 0);
    for (int y = 0; y < dark_min.rows; ++y) {
        const float* p = dark_min.ptr<float>(y);
        for (int x = 0; x < dark_min.cols; ++x)
            if (!std::isnan(p[x])) ++hist[order_key(p[x]) >> 16];
    }
    // The lowest bin from which on (upwards) at least n values lie.
    size_t above = 0;
    int first_bin = static_cast<int>(hist.size()) - 1;
    for (; first_bin >= 0; --first_bin) {
        above += hist[static_cast<size_t>(first_bin)];
        if (above >= n) break;
    }
    // Fewer than n numbers: the mean would take in NaN; use the floor.
    if (first_bin < 0) return 0.01f;

    // Every value ranked n or better lies in those bins.
    std::vector<float> top;
    top.reserve(above);
    const uint32_t min_key = static_cast<uint32_t>(first_bin) << 16;
    for (int y = 0; y < dark_min.rows; ++y) {
        const float* p = dark_min.ptr<float>(y);
        for (int x = 0; x < dark_min.cols; ++x)
            if (!std::isnan(p[x]) && order_key(p[x]) >= min_key) top.push_back(p[x]);
    }
    const auto nth = top.begin() + static_cast<std::ptrdiff_t>(n);
    std::nth_element(top.begin(), nth - 1, top.end(), std::greater<float>());
    std::sort(top.begin(), nth, std::greater<float>());

    float sum = 0.0f;
    for (auto it = top.begin(); it != nth; ++it) sum += *it;
    const float mean = sum / static_cast<float>(n);
    return mean > 0.01f ? mean : 0.01f;
}

}  // namespace vantorix
