// Geometry: flips, rotation, perspective and crop.
//
// The only stage that may change the image size, and only its crop does.
// A rotation or perspective setting that is not a finite number, and crop
// values that are not finite or whose pixel products do not fit an int, leave
// their step out.
#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "pipeline/detail_helpers.h"
#include "pipeline/geometry_crop.h"
#include "pipeline/stages.h"

namespace vantorix {

namespace {

// 2^31: products at or above it (or below its negative) do not fit an int.
constexpr float kIntLimit = 2147483648.0f;

// Integer part of a single-precision product, when it fits an int.
bool truncated_product(int size, float fraction, int& out) {
    const float p = static_cast<float>(size) * fraction;
    if (!std::isfinite(p) || p >= kIntLimit || p < -kIntLimit) return false;
    out = static_cast<int>(p);  // truncates toward zero
    return true;
}

// Resampling steps write into `spare` when it is a free buffer of the image's
// size (the one the previous resampling step read) and hand back the buffer
// they read, so rotation and perspective together allocate one new image.
void rotate(cv::Mat& img, cv::Mat& spare, float degrees) {
    const cv::Point2f centre(static_cast<float>(img.cols) * 0.5f, static_cast<float>(img.rows) * 0.5f);
    const cv::Mat m = cv::getRotationMatrix2D(centre, static_cast<double>(degrees), 1.0);
    cv::Mat out = spare;
    cv::warpAffine(img, out, m, img.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar(0));
    spare = img;
    img = out;
}

void correct_perspective(cv::Mat& img, cv::Mat& spare, float perspective_h, float perspective_v) {
    const float ph = perspective_h / 100.0f * 0.15f;
    const float pv = perspective_v / 100.0f * 0.15f;
    const float W = static_cast<float>(img.cols);
    const float H = static_cast<float>(img.rows);
    const std::array<cv::Point2f, 4> src = {
        cv::Point2f(0.0f, 0.0f), cv::Point2f(W, 0.0f), cv::Point2f(W, H), cv::Point2f(0.0f, H)};
    const std::array<cv::Point2f, 4> dst = {
        cv::Point2f(ph * W, pv * H), cv::Point2f(W - ph * W, pv * H),
        cv::Point2f(W + ph * W, H - pv * H), cv::Point2f(-ph * W, H - pv * H)};
    // Huge settings overflow the corner positions: no meaningful warp then.
    for (const cv::Point2f& p : dst)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    const cv::Mat m = cv::getPerspectiveTransform(src.data(), dst.data());
    if (!cv::checkRange(m)) return;
    cv::Mat out = spare;
    cv::warpPerspective(img, out, m, img.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar(0));
    spare = img;
    img = out;
}

}  // namespace

bool crop_rectangle(int width, int height, const CropRect& crop, cv::Rect& rect) {
    if (!(crop.w > 0.0f) || !(crop.h > 0.0f)) return false;  // also NaN
    if (crop.x == 0.0f && crop.y == 0.0f && crop.w >= 0.99f && crop.h >= 0.99f) return false;
    int x0, y0, pw, ph;
    if (!truncated_product(width, crop.x, x0) || !truncated_product(height, crop.y, y0) ||
        !truncated_product(width, crop.w, pw) || !truncated_product(height, crop.h, ph))
        return false;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    // x0 <= INT_MAX and width >= 0, so the differences cannot overflow.
    const int cw = std::min(width - x0, pw);
    const int ch = std::min(height - y0, ph);
    if (cw <= 10 || ch <= 10) return false;
    rect = cv::Rect(x0, y0, cw, ch);
    return true;
}

void apply_geometry(cv::Mat& img, const Adjustments& adj) {
    const CropRect& c = adj.crop;
    if (adj.flip_h == 0 && adj.flip_v == 0 && adj.rotation == 0.0f && adj.perspective_h == 0.0f &&
        adj.perspective_v == 0.0f && c.x == 0.0f && c.y == 0.0f && !(c.w > 0.0f) && !(c.h > 0.0f))
        return;
    if (img.empty()) return;

    // Both flips together are one half turn: a single pass gives the same pixels.
    if (adj.flip_h != 0 && adj.flip_v != 0)
        cv::flip(img, img, -1);
    else if (adj.flip_h != 0)
        cv::flip(img, img, 1);
    else if (adj.flip_v != 0)
        cv::flip(img, img, 0);

    // The buffer the last resampling read is kept for the next render, so a
    // re-render writes into pages it already has.
    cv::Mat& kept = stage_scratch().geometry_kept;
    cv::Mat spare;
    if (kept.u && kept.u->refcount == 1 && kept.size() == img.size() && kept.type() == img.type()) spare = kept;
    kept.release();
    if (adj.rotation != 0.0f && std::isfinite(adj.rotation)) rotate(img, spare, adj.rotation);

    if ((adj.perspective_h != 0.0f || adj.perspective_v != 0.0f) && std::isfinite(adj.perspective_h) &&
        std::isfinite(adj.perspective_v))
        correct_perspective(img, spare, adj.perspective_h, adj.perspective_v);
    kept = spare;

    // The cropped image is a view of the rectangle: the same pixels as a copy,
    // without copying them (the later stages and the conversion to 16 bits work
    // row by row and accept a view).
    cv::Rect rect;
    if (crop_rectangle(img.cols, img.rows, c, rect)) img = img(rect);
}

void transform_like_picture(cv::Mat& plane, const Adjustments& adj) {
    apply_lens_distortion(plane, adj);
    apply_geometry(plane, adj);
}

}  // namespace vantorix
