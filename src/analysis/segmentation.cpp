// Subject segmentation with GrabCut and the stored subject mask.
#include "analysis/segmentation.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"

namespace vantorix {

namespace {

// Integer part of size * center (single precision), or size / 2 for a
// negative or NaN centre. Values beyond any image are held at 2^30, which
// keeps the rectangle arithmetic free of overflow (the rectangle then lies
// outside the image and GrabCut rejects it).
int seed_position(int size, float center) {
    if (!(center >= 0.0f)) return size / 2;
    const float p = static_cast<float>(size) * center;
    constexpr float kLimit = 1073741824.0f;  // 2^30
    if (!(p < kLimit)) return static_cast<int>(kLimit);
    return static_cast<int>(p);
}

// Every 16-bit sample's 8-bit value, made once by ImageBuffer::to_8bit
// itself (65536 samples laid out as 16384 four-channel pixels).
const uchar* eight_bit_table() {
    static const cv::Mat table = [] {
        cv::Mat all(1, 16384, CV_16UC4);
        uint16_t* v = all.ptr<uint16_t>();
        for (int i = 0; i < 65536; ++i) v[i] = static_cast<uint16_t>(i);
        return ImageBuffer::adopt(all).to_8bit();
    }();
    return table.ptr<uchar>();
}

const char kNoMask[] = "no segmentation mask \xE2\x80\x94 call vantorix_segment_subject first";

}  // namespace

cv::Mat loaded_bgr8(const cv::Mat& rgba16) {
    CV_Assert(rgba16.empty() || rgba16.type() == CV_16UC4);
    const uchar* to8 = eight_bit_table();
    cv::Mat bgr(rgba16.size(), CV_8UC3);
    for (int y = 0; y < rgba16.rows; ++y) {
        const uint16_t* s = rgba16.ptr<uint16_t>(y);
        uchar* d = bgr.ptr<uchar>(y);
        for (int x = 0; x < rgba16.cols; ++x, s += 4, d += 3) {
            d[0] = to8[s[2]];
            d[1] = to8[s[1]];
            d[2] = to8[s[0]];
        }
    }
    return bgr;
}

cv::Rect subject_seed_rect(int width, int height, float center_x, float center_y) {
    const int px = seed_position(width, center_x);
    const int py = seed_position(height, center_y);
    int rw = (3 * width) / 5;
    int rh = (3 * height) / 5;
    const int x0 = std::max(1, px - rw / 2);
    const int y0 = std::max(1, py - rh / 2);
    rw = std::min(rw, width - x0 - 1);
    rh = std::min(rh, height - y0 - 1);
    return cv::Rect(x0, y0, rw, rh);
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_segment_subject(EngineContext* ctx, float center_x, float center_y) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!ctx->has_image()) {
            ctx->fail("no image loaded");
            return -1;
        }
        // The loaded image as 8-bit blue-green-red (÷257, then RGBA to BGR).
        cv::Mat bgr = vantorix::loaded_bgr8(ctx->source_image().mat);
        const cv::Size full = bgr.size();

        // GrabCut runs on a copy whose long side is at most 512 pixels.
        cv::Mat small = bgr;
        bool reduced = false;
        if (full.width > vantorix::kSegmentationSide || full.height > vantorix::kSegmentationSide) {
            const float s = static_cast<float>(vantorix::kSegmentationSide) /
                            static_cast<float>(std::max(full.width, full.height));
            small = vantorix::resize_by_factor(bgr, s);
            reduced = true;
        }
        bgr.release();

        const cv::Rect rect = vantorix::subject_seed_rect(small.cols, small.rows, center_x, center_y);
        cv::Mat labels(small.size(), CV_8UC1, cv::Scalar(0));
        cv::Mat bgd_model, fgd_model;
        try {
            // GrabCut seeds its colour models from the thread's random
            // generator: a fixed state makes the mask reproducible, and the
            // previous state comes back for whoever draws next (grain).
            vantorix::ScopedRngState fixed(vantorix::kGrabCutRngState);
            cv::grabCut(small, labels, rect, bgd_model, fgd_model, 5, cv::GC_INIT_WITH_RECT);
        } catch (const std::exception&) {
            ctx->fail("GrabCut failed");
            return -2;
        }
        small.release();

        // Definite and probable foreground become 255.
        cv::Mat fg = (labels == cv::GC_PR_FGD) | (labels == cv::GC_FGD);
        labels.release();

        // Smooth the outline, then fill pinholes and remove specks.
        cv::GaussianBlur(fg, fg, cv::Size(5, 5), 0, 0, cv::BORDER_REFLECT_101);
        cv::threshold(fg, fg, 127, 255, cv::THRESH_BINARY);
        const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5), cv::Point(-1, -1));
        cv::morphologyEx(fg, fg, cv::MORPH_CLOSE, disc, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                         cv::morphologyDefaultBorderValue());
        cv::morphologyEx(fg, fg, cv::MORPH_OPEN, disc, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                         cv::morphologyDefaultBorderValue());

        if (reduced) {
            cv::Mat up;
            cv::resize(fg, up, full, 0, 0, cv::INTER_LINEAR);
            cv::threshold(up, fg, 127, 255, cv::THRESH_BINARY);
        }

        // Feathered edge at the loaded image's full size.
        cv::Mat mask;
        cv::GaussianBlur(fg, mask, cv::Size(9, 9), 2.0, 0, cv::BORDER_REFLECT_101);
        ctx->subject_mask = mask;
        ctx->mask_ready = true;
        return 0;
    });
}

VANTORIX_API int vantorix_get_mask(EngineContext* ctx, uint8_t* out_mask, int capacity) {
    if (!ctx || !out_mask) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const cv::Mat& mask = ctx->subject_mask;
        if (!ctx->mask_ready || mask.empty()) {
            ctx->fail(vantorix::kNoMask);
            return -1;
        }
        const size_t row_bytes = static_cast<size_t>(mask.cols);
        const size_t n = row_bytes * static_cast<size_t>(mask.rows);
        if (capacity < 0 || static_cast<size_t>(capacity) < n) return -2;
        if (mask.isContinuous()) {
            std::memcpy(out_mask, mask.data, n);
        } else {
            for (int y = 0; y < mask.rows; ++y) std::memcpy(out_mask + row_bytes * y, mask.ptr(y), row_bytes);
        }
        return 0;
    });
}

}  // extern "C"
