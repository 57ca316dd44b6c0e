// Lens corrections: distortion, chromatic aberration, lens vignetting, defringe.
//
// The four corrections run in that order, each on the result of the one before;
// the image keeps its size. Settings that are not finite numbers (NaN, ±inf)
// switch their correction off.
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pipeline/detail_helpers.h"
#include "pipeline/color_helpers.h"
#include "pipeline/lens_corrections.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// Rows of the distortion maps built per remap call.
constexpr int kDistortionBandRows = 64;

// Limits to 0..1; a NaN (0 × inf) becomes 0.
inline float clamp_unit(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }

// Resamples the whole image through a radial model centred on the frame.
// The coordinate maps are built and used one band of rows at a time: every
// output pixel depends only on its own map entries and the whole source, so
// the result equals one remap call with full-size maps, without their memory.
void correct_distortion(cv::Mat& img, float distortion) {
    const float k = distortion / 100.0f * -0.5f;
    const int W = img.cols, H = img.rows;
    const float cx = static_cast<float>(W) * 0.5f;
    const float cy = static_cast<float>(H) * 0.5f;
    const float R = std::max(cx, cy);

    // The normalised column coordinates are the same on every row.
    std::vector<float> nxs(static_cast<size_t>(W)), nx2s(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) {
        const float nx = (static_cast<float>(x) - cx) / R;
        nxs[static_cast<size_t>(x)] = nx;
        nx2s[static_cast<size_t>(x)] = nx * nx;
    }
    // The buffer the last correction read is kept and written next time, so a
    // re-render touches no fresh pages.
    cv::Mat& kept = stage_scratch().lens_kept;
    cv::Mat out;
    if (kept.u && kept.u->refcount == 1 && kept.size() == img.size() && kept.type() == img.type()) out = kept;
    kept.release();
    out.create(H, W, img.type());
    const int band = std::min(H, kDistortionBandRows);
    cv::Mat map_x(band, W, CV_32FC1), map_y(band, W, CV_32FC1);
    for (int y0 = 0; y0 < H; y0 += band) {
        const int rows = std::min(band, H - y0);
        for (int i = 0; i < rows; ++i) {
            const float ny = (static_cast<float>(y0 + i) - cy) / R;
            const float ny2 = ny * ny;
            float* mx = map_x.ptr<float>(i);
            float* my = map_y.ptr<float>(i);
            for (int x = 0; x < W; ++x) {
                const float nx = nxs[static_cast<size_t>(x)];
                const float f = (nx2s[static_cast<size_t>(x)] + ny2) * k + 1.0f;
                mx[x] = f * nx * R + cx;
                my[x] = ny * f * R + cy;
            }
        }
        cv::Mat dst = out.rowRange(y0, y0 + rows);
        cv::remap(img, dst, map_x.rowRange(0, rows), map_y.rowRange(0, rows), cv::INTER_LINEAR, cv::BORDER_REFLECT,
                  cv::Scalar(0));
    }
    kept = img;
    img = out;
}

// Scales the red plane up and the blue plane down about the centre.
void correct_chromatic_aberration(cv::Mat& img, float ca_correction) {
    const float s = ca_correction / 100.0f * 0.003f;
    // From s = 1 on the blue plane would have no size at all (scale <= 0).
    if (!(s < 1.0f)) return;
    const cv::Size size = img.size();
    const double grow = static_cast<double>(1.0f + s);
    const double shrink = static_cast<double>(1.0f - s);

    // Only the red and blue planes change: green and alpha stay in place.
    cv::Mat planes[2] = {cv::Mat(size, CV_32FC1), cv::Mat(size, CV_32FC1)};
    const int from_to[] = {0, 0, 2, 1};
    cv::mixChannels(&img, 1, planes, 2, from_to, 2);
    cv::Mat red, blue;
    cv::resize(planes[0], red, cv::Size(), grow, grow, cv::INTER_LINEAR);
    // The size the library will choose for the blue plane (0 < shrink <= 1).
    const int blue_w = cvRound(static_cast<double>(size.width) * shrink);
    const int blue_h = cvRound(static_cast<double>(size.height) * shrink);
    if (blue_w > 0 && blue_h > 0) {
        // The shrunk plane fits into the buffer the red plane was extracted to,
        // which is free now: the library writes into a matrix of matching size.
        blue = cv::Mat(blue_h, blue_w, CV_32FC1, planes[0].data);
        cv::resize(planes[1], blue, cv::Size(), shrink, shrink, cv::INTER_LINEAR);
    }
    // else: shrunk to nothing, the whole blue channel becomes border (0).
    fit_plane_into_channel(red, img, 0);
    fit_plane_into_channel(blue, img, 2);
}

// Brightens towards the corners: gain 1 + 0.5·a·d², d = 1 at the corners.
void compensate_lens_vignette(cv::Mat& img, float lens_vignette) {
    const float a = lens_vignette / 100.0f;
    const int W = img.cols, H = img.rows;
    const float cx = static_cast<float>(W) * 0.5f;
    const float cy = static_cast<float>(H) * 0.5f;
    const float rd = std::sqrt(cx * cx + cy * cy);

    std::vector<float> dx2s(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) {
        const float dx = static_cast<float>(x) - cx;
        dx2s[static_cast<size_t>(x)] = dx * dx;
    }
    for (int y = 0; y < H; ++y) {
        const float dy = static_cast<float>(y) - cy;
        const float dy2 = dy * dy;
        float* p = img.ptr<float>(y);
        for (int x = 0; x < W; ++x, p += 4) {
            const float d = std::sqrt(dx2s[static_cast<size_t>(x)] + dy2) / rd;
            const float g = d * a * d * 0.5f + 1.0f;
            p[0] = clamp_unit(p[0] * g);
            p[1] = clamp_unit(p[1] * g);
            p[2] = clamp_unit(p[2] * g);
        }
    }
}

// Desaturates strongly coloured purple/magenta and green pixels.
void defringe(cv::Mat& img, float amount) {
    const float threshold = (1.0f - amount / 100.0f) * 0.5f;
    const float reduction = 1.0f - amount / 100.0f * 0.5f;
    for (int y = 0; y < img.rows; ++y) {
        float* p = img.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x, p += 4) {
            float h, s, l;
            rgb_to_hsl(p[0], p[1], p[2], h, s, l);
            const bool purple = h > 0.65f && h < 0.85f;
            const bool green = h > 0.25f && h < 0.4f;
            if ((purple || green) && s > threshold) hsl_to_rgb(h, s * reduction, l, p[0], p[1], p[2]);
        }
    }
}

}  // namespace

PlanePlacement place_plane(int plane_w, int plane_h, int width, int height) {
    const int dx = (plane_w - width) / 2;
    const int dy = (plane_h - height) / 2;
    PlanePlacement p;
    // Larger along an axis: crop from offset d; smaller: place at offset -d.
    // Each axis on its own, so a plane larger along one axis only stays within
    // both buffers.
    p.src_x = std::max(dx, 0);
    p.dst_x = std::max(-dx, 0);
    p.src_y = std::max(dy, 0);
    p.dst_y = std::max(-dy, 0);
    p.w = std::max(0, std::min(plane_w - p.src_x, width - p.dst_x));
    p.h = std::max(0, std::min(plane_h - p.src_y, height - p.dst_y));
    return p;
}

void fit_plane_to_size(cv::Mat& plane, int width, int height) {
    if (plane.cols == width && plane.rows == height) return;
    const PlanePlacement p = place_plane(plane.cols, plane.rows, width, height);
    if (plane.cols >= width && plane.rows >= height) {
        plane = plane(cv::Rect(p.src_x, p.src_y, width, height)).clone();
        return;
    }
    cv::Mat fitted(height, width, plane.empty() ? CV_32FC1 : plane.type(), cv::Scalar(0));
    if (p.w > 0 && p.h > 0)
        plane(cv::Rect(p.src_x, p.src_y, p.w, p.h)).copyTo(fitted(cv::Rect(p.dst_x, p.dst_y, p.w, p.h)));
    plane = fitted;
}

void fit_plane_into_channel(const cv::Mat& plane, cv::Mat& img, int channel) {
    const int W = img.cols, H = img.rows;
    const PlanePlacement p = place_plane(plane.cols, plane.rows, W, H);
    for (int y = 0; y < H; ++y) {
        float* d = img.ptr<float>(y) + channel;
        const bool covered = p.w > 0 && y >= p.dst_y && y < p.dst_y + p.h;
        if (!covered) {
            for (int x = 0; x < W; ++x) d[4 * x] = 0.0f;
            continue;
        }
        const float* src = plane.ptr<float>(y - p.dst_y + p.src_y) + p.src_x;
        int x = 0;
        for (; x < p.dst_x; ++x) d[4 * x] = 0.0f;
        for (; x < p.dst_x + p.w; ++x) d[4 * x] = src[x - p.dst_x];
        for (; x < W; ++x) d[4 * x] = 0.0f;
    }
}

void apply_lens_distortion(cv::Mat& img, const Adjustments& adj) {
    if (adj.distortion != 0.0f && std::isfinite(adj.distortion) && !img.empty()) correct_distortion(img, adj.distortion);
}

void apply_lens_corrections(cv::Mat& img, const Adjustments& adj) {
    if (adj.distortion == 0.0f && !(adj.ca_correction > 0.0f) && !(adj.lens_vignette > 0.0f) &&
        !(adj.defringe > 0.0f))
        return;
    if (img.empty()) return;
    apply_lens_distortion(img, adj);
    if (adj.ca_correction > 0.0f && std::isfinite(adj.ca_correction))
        correct_chromatic_aberration(img, adj.ca_correction);
    if (adj.lens_vignette > 0.0f && std::isfinite(adj.lens_vignette)) compensate_lens_vignette(img, adj.lens_vignette);
    if (adj.defringe > 0.0f && std::isfinite(adj.defringe)) defringe(img, adj.defringe);
}

}  // namespace vantorix
