#pragma once
// Scalar reference computations for the detail stages (clarity and texture,
// dehaze, noise reduction, sharpening), written from the formulas in double
// precision, independent of the engine code; plus synthetic test images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

namespace detailref {

// A smooth, colourful CV_32FC4 test image with fine noise; values in
// lo..hi, alpha a fixed pattern (including values outside 0..1).
inline cv::Mat make_image(int cols, int rows, uint64_t seed, float lo = 0.05f, float hi = 0.95f) {
    cv::Mat img(rows, cols, CV_32FC4);
    cv::RNG rng(seed);
    const double f1 = rng.uniform(0.05, 0.3), f2 = rng.uniform(0.05, 0.3), f3 = rng.uniform(0.1, 0.6);
    for (int y = 0; y < rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < cols; ++x, p += 4) {
            for (int c = 0; c < 3; ++c) {
                const double base = 0.5 + 0.25 * std::sin(f1 * x + c) * std::cos(f2 * y - c) +
                                    0.12 * std::sin(f3 * (x + 2 * y) + 2 * c) + rng.uniform(-0.08, 0.08);
                const double v = lo + (hi - lo) * std::min(std::max(base, 0.0), 1.0);
                p[c] = static_cast<float>(v);
            }
            p[3] = ((x + y) % 3 == 0) ? 1.5f : ((x + y) % 3 == 1 ? -0.25f : 0.75f);
        }
    }
    return img;
}

inline bool bit_identical(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}

// Largest |a - b| over all samples of two float images of one size/type.
inline double max_abs_diff(const cv::Mat& a, const cv::Mat& b) {
    EXPECT_EQ(a.size(), b.size());
    EXPECT_EQ(a.type(), b.type());
    double m = 0;
    for (int y = 0; y < a.rows; ++y) {
        const float* p = a.ptr<float>(y);
        const float* q = b.ptr<float>(y);
        for (int x = 0; x < a.cols * a.channels(); ++x) m = std::max(m, std::fabs(double(p[x]) - double(q[x])));
    }
    return m;
}

// Index in 0..len-1 for a position outside, mirrored without repeating the edge.
inline int reflect101(int p, int len) {
    if (len == 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * (len - 1) - p;
    return p;
}

// Normalised Gaussian weights exp(-x^2 / (2 sigma^2)), x = i - (k-1)/2.
inline std::vector<double> gaussian_weights(int k, double sigma) {
    std::vector<double> w(k);
    double sum = 0;
    for (int i = 0; i < k; ++i) {
        const double x = i - (k - 1) / 2.0;
        w[i] = std::exp(-x * x / (2 * sigma * sigma));
        sum += w[i];
    }
    for (double& v : w) v /= sum;
    return w;
}

// The weights of a k x k Gaussian with sigma 0: the library's fixed
// binomial-like tables up to 9 taps, above that sigma = 0.3((k-1)/2 - 1) + 0.8.
inline std::vector<double> gaussian_weights_for_size(int k) {
    switch (k) {
        case 1: return {1.0};
        case 3: return {0.25, 0.5, 0.25};
        case 5: return {1 / 16.0, 4 / 16.0, 6 / 16.0, 4 / 16.0, 1 / 16.0};
        case 7: return {1 / 32.0, 3.5 / 32.0, 7 / 32.0, 9 / 32.0, 7 / 32.0, 3.5 / 32.0, 1 / 32.0};
        case 9: return {4 / 256.0, 13 / 256.0, 30 / 256.0, 51 / 256.0, 60 / 256.0,
                        51 / 256.0, 30 / 256.0, 13 / 256.0, 4 / 256.0};
        default: return gaussian_weights(k, 0.3 * ((k - 1) * 0.5 - 1) + 0.8);
    }
}

// Kernel size the library derives from sigma for float data: round(8 sigma + 1), odd.
inline int kernel_size_for_sigma(double sigma) { return static_cast<int>(std::lround(sigma * 8 + 1)) | 1; }

// A plane as doubles (row-major).
struct Plane {
    int rows = 0, cols = 0;
    std::vector<double> v;
    Plane() = default;
    Plane(int r, int c, double fill = 0) : rows(r), cols(c), v(size_t(r) * c, fill) {}
    double& at(int y, int x) { return v[size_t(y) * cols + x]; }
    double at(int y, int x) const { return v[size_t(y) * cols + x]; }
};

inline Plane channel(const cv::Mat& img, int c) {
    Plane p(img.rows, img.cols);
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) p.at(y, x) = img.ptr<float>(y)[x * img.channels() + c];
    return p;
}

inline void set_channel(cv::Mat& img, int c, const Plane& p) {
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) img.ptr<float>(y)[x * img.channels() + c] = static_cast<float>(p.at(y, x));
}

// Separable convolution (rows, then columns) with mirrored borders.
inline Plane blur(const Plane& in, const std::vector<double>& w) {
    // A one-pixel-wide (or -high) image is not blurred along that axis.
    const std::vector<double> wx = in.cols == 1 ? std::vector<double>{1.0} : w;
    const std::vector<double> wy = in.rows == 1 ? std::vector<double>{1.0} : w;
    Plane tmp(in.rows, in.cols), out(in.rows, in.cols);
    const int rx = static_cast<int>(wx.size()) / 2, ry = static_cast<int>(wy.size()) / 2;
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            double s = 0;
            for (int i = 0; i < static_cast<int>(wx.size()); ++i) s += wx[i] * in.at(y, reflect101(x + i - rx, in.cols));
            tmp.at(y, x) = s;
        }
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            double s = 0;
            for (int i = 0; i < static_cast<int>(wy.size()); ++i) s += wy[i] * tmp.at(reflect101(y + i - ry, in.rows), x);
            out.at(y, x) = s;
        }
    return out;
}

inline double clamp01(double v) { return v > 0 ? (v > 1 ? 1 : v) : 0; }

inline Plane luminance(const cv::Mat& img) {
    Plane l(img.rows, img.cols);
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) {
            const float* p = img.ptr<float>(y) + 4 * x;
            l.at(y, x) = double(0.2126f) * p[0] + double(0.7152f) * p[1] + double(0.0722f) * p[2];
        }
    return l;
}

// ---- Clarity and texture ----
inline cv::Mat clarity_texture(const cv::Mat& img, float clarity, float texture) {
    cv::Mat out = img.clone();
    const Plane l = luminance(img);
    auto add = [&](double sigma, double k) {
        const Plane b = blur(l, gaussian_weights(kernel_size_for_sigma(sigma), sigma));
        for (int c = 0; c < 3; ++c) {
            Plane p = channel(out, c);
            for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = clamp01(p.v[i] + (l.v[i] - b.v[i]) * k);
            set_channel(out, c, p);
        }
    };
    if (clarity != 0) add(20.0, clarity / 100.0f * 0.3f);
    if (texture != 0) add(3.0, texture / 100.0f * 0.2f);
    return out;
}

// ---- Dehaze ----
inline int haze_window(int cols) { return std::max(static_cast<int>(std::floor(cols * 0.02f)) | 1, 3); }

// Minimum over a w x w window, positions outside the image ignored.
inline Plane min_filter(const Plane& in, int w) {
    Plane out(in.rows, in.cols);
    const int r = w / 2;
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            double m = INFINITY;
            for (int yy = std::max(0, y - r); yy <= std::min(in.rows - 1, y + r); ++yy)
                for (int xx = std::max(0, x - r); xx <= std::min(in.cols - 1, x + r); ++xx) m = std::min(m, in.at(yy, xx));
            out.at(y, x) = m;
        }
    return out;
}

inline Plane dark_channel_min(const cv::Mat& img, int window) {
    Plane d(img.rows, img.cols);
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) {
            const float* p = img.ptr<float>(y) + 4 * x;
            d.at(y, x) = std::min({p[0], p[1], p[2]});
        }
    return min_filter(d, window);
}

// Mean of the brightest 0.1 % (a full descending sort), single-precision sum, at least 0.01.
inline float atmospheric_light(const std::vector<float>& values) {
    std::vector<float> v = values;
    std::sort(v.begin(), v.end(), std::greater<float>());
    const int n = std::max(1, static_cast<int>(static_cast<float>(v.size()) * 0.001f));
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += v[i];
    return std::max(sum / static_cast<float>(n), 0.01f);
}

// window 0: the size the width calls for.
inline cv::Mat dehaze(const cv::Mat& img, float dehaze_setting, float* a_out = nullptr, int window = 0) {
    cv::Mat out = img.clone();
    const Plane dmin = dark_channel_min(img, window > 0 ? window : haze_window(img.cols));
    std::vector<float> vals(dmin.v.begin(), dmin.v.end());
    const float a = atmospheric_light(vals);
    if (a_out) *a_out = a;
    const double s = double(float(0.95f * (dehaze_setting / 100.0f)));
    Plane t(img.rows, img.cols);
    for (size_t i = 0; i < t.v.size(); ++i) t.v[i] = 1.0 - s * dmin.v[i] / a;
    t = blur(t, gaussian_weights(kernel_size_for_sigma(5.0), 5.0));
    for (double& v : t.v) v = std::max(v, double(0.1f));
    for (int c = 0; c < 3; ++c) {
        Plane p = channel(out, c);
        for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = clamp01((p.v[i] - a) / t.v[i] + a);
        set_channel(out, c, p);
    }
    return out;
}

// ---- Noise reduction ----
// 3 - 2 t with t = trunc((setting / -100) * steps) in single precision.
inline int stepped_size(float setting, float steps) {
    const float t = (setting / -100.0f) * steps;
    return 3 - 2 * static_cast<int>(t);
}

inline cv::Mat noise_reduction(const cv::Mat& img, float nr_lum, float nr_col, int k_lum, int k_col) {
    cv::Mat out = img.clone();
    if (nr_lum > 0) {
        const Plane l = luminance(img);
        const Plane lb = blur(l, gaussian_weights_for_size(k_lum));
        const float a = nr_lum / 100.0f * 0.6f, b = 1.0f - a;
        for (int c = 0; c < 3; ++c) {
            Plane p = channel(out, c);
            for (size_t i = 0; i < p.v.size(); ++i) {
                const double q = lb.v[i] / (l.v[i] + double(1e-6f));
                p.v[i] = p.v[i] * b + p.v[i] * q * a;
            }
            set_channel(out, c, p);
        }
    }
    if (nr_col > 0)
        for (int c = 0; c < 3; ++c) set_channel(out, c, blur(channel(out, c), gaussian_weights_for_size(k_col)));
    return out;
}

// ---- Sharpening ----
inline cv::Mat sharpen(const cv::Mat& img, float amount, float radius, float threshold) {
    cv::Mat out = img.clone();
    const double a = amount / 150.0f, theta = threshold / 65535.0f;
    const std::vector<double> w = gaussian_weights(kernel_size_for_sigma(radius), radius);
    for (int c = 0; c < 3; ++c) {
        Plane p = channel(out, c);
        const Plane b = blur(p, w);
        for (size_t i = 0; i < p.v.size(); ++i) {
            const double d = p.v[i] - b.v[i];
            p.v[i] = clamp01(p.v[i] + (std::fabs(d) > theta ? d : 0.0) * a);
        }
        set_channel(out, c, p);
    }
    return out;
}

}  // namespace detailref
