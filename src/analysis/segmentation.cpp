// Subject segmentation with GrabCut and the stored subject mask.
#include "analysis/segmentation.h"

#include <algorithm>
#include <cmath>
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

void subject_seed_mask(cv::Mat& labels) {
    CV_Assert(labels.type() == CV_8UC1);
    const int W = labels.cols, H = labels.rows;
    labels.setTo(cv::Scalar(cv::GC_PR_BGD));
    cv::ellipse(labels, cv::Point(W / 2, H / 2), cv::Size((3 * W) / 10, (3 * H) / 10), 0.0, 0.0, 360.0,
                cv::Scalar(cv::GC_PR_FGD), cv::FILLED);
    const int bx = std::max(1, W / 20), by = std::max(1, H / 20);
    labels.colRange(0, std::min(bx, W)).setTo(cv::Scalar(cv::GC_BGD));
    labels.colRange(std::max(W - bx, 0), W).setTo(cv::Scalar(cv::GC_BGD));
    labels.rowRange(0, std::min(by, H)).setTo(cv::Scalar(cv::GC_BGD));
    labels.rowRange(std::max(H - by, 0), H).setTo(cv::Scalar(cv::GC_BGD));
}

bool subject_box_valid(float x, float y, float w, float h) {
    const double dx = x, dy = y, dw = w, dh = h;
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dw) || !std::isfinite(dh)) return false;
    if (!(dw > 0.0) || !(dh > 0.0)) return false;
    return dx < 1.0 && dy < 1.0 && dx + dw > 0.0 && dy + dh > 0.0;
}

cv::Rect subject_box_rect(int width, int height, float x, float y, float w, float h) {
    // Edges in double precision at the nearest pixel boundary, at least one
    // pixel apart, then kept one pixel clear of the frame's edges (GrabCut
    // needs background outside the rectangle).
    const auto edge = [](int size, double f) {
        return static_cast<int>(std::lround(std::min(std::max(f, 0.0), 1.0) * size));
    };
    const int left = edge(width, x), top = edge(height, y);
    const int right = std::max(left + 1, edge(width, static_cast<double>(x) + w));
    const int bottom = std::max(top + 1, edge(height, static_cast<double>(y) + h));
    const int x0 = std::max(1, left), y0 = std::max(1, top);
    return cv::Rect(x0, y0, std::min(width - 1, right) - x0, std::min(height - 1, bottom) - y0);
}

namespace {

int segment_reported(EngineContext& ctx, const std::function<SubjectSeed(cv::Mat& labels)>& seed, Progress& progress) {
    auto cancelled = [&]() -> int {
        ctx.fail(kCancelledMessage);
        return -1;
    };
    if (progress.report(VANTORIX_STAGE_SEGMENT, 0.0f)) return cancelled();
    // The loaded image as 8-bit blue-green-red (÷257, then RGBA to BGR).
    cv::Mat bgr = loaded_bgr8(ctx.source_image().mat);
    const cv::Size full = bgr.size();

    // GrabCut runs on a copy whose long side is at most 512 pixels.
    cv::Mat small = bgr;
    bool reduced = false;
    if (full.width > kSegmentationSide || full.height > kSegmentationSide) {
        const float s = static_cast<float>(kSegmentationSide) / static_cast<float>(std::max(full.width, full.height));
        small = resize_by_factor(bgr, s);
        reduced = true;
    }
    bgr.release();

    if (progress.report(VANTORIX_STAGE_SEGMENT, 0.1f)) return cancelled();
    cv::Mat labels(small.size(), CV_8UC1, cv::Scalar(0));
    const SubjectSeed how = seed(labels);
    cv::Mat bgd_model, fgd_model;
    try {
        // GrabCut seeds its colour models from the thread's random
        // generator: a fixed state makes the mask reproducible, and the
        // previous state comes back for whoever draws next (grain).
        ScopedRngState fixed(kGrabCutRngState);
        // Five iterations, one call each so that progress can be told between
        // them: GC_EVAL resumes from the labels and the colour models the
        // previous call left, which gives the same labels as one call of five.
        const int init = how.use_mask ? cv::GC_INIT_WITH_MASK : cv::GC_INIT_WITH_RECT;
        for (int i = 0; i < kGrabCutIterations; ++i) {
            cv::grabCut(small, labels, how.rect, bgd_model, fgd_model, 1, i == 0 ? init : cv::GC_EVAL);
            if (progress.report(VANTORIX_STAGE_SEGMENT, 0.1f + 0.8f * static_cast<float>(i + 1) / kGrabCutIterations))
                return cancelled();
        }
    } catch (const std::exception&) {
        ctx.fail(msg::kGrabCut);
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
    if (progress.report(VANTORIX_STAGE_SEGMENT, 1.0f)) return cancelled();
    ctx.subject_mask = mask;
    ctx.mask_ready = true;
    return 0;
}

}  // namespace

int segment_with_seed(EngineContext& ctx, const std::function<SubjectSeed(cv::Mat& labels)>& seed) {
    if (!ctx.require_image()) return -1;
    Progress progress(ctx.progress_fn, ctx.progress_user);
    return progress.run(VANTORIX_STAGE_SEGMENT, [&] { return segment_reported(ctx, seed, progress); });
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_segment_subject(EngineContext* ctx, float center_x, float center_y) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        return vantorix::segment_with_seed(*ctx, [&](cv::Mat& labels) {
            return vantorix::SubjectSeed{vantorix::subject_seed_rect(labels.cols, labels.rows, center_x, center_y),
                                         false};
        });
    });
}

VANTORIX_API int vantorix_segment_subject_auto(EngineContext* ctx) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        return vantorix::segment_with_seed(*ctx, [](cv::Mat& labels) {
            vantorix::subject_seed_mask(labels);
            return vantorix::SubjectSeed{cv::Rect(), true};
        });
    });
}

VANTORIX_API int vantorix_segment_subject_box(EngineContext* ctx, float x, float y, float w, float h) {
    if (!ctx) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (!vantorix::subject_box_valid(x, y, w, h)) {
            ctx->fail(vantorix::msg::kEmptyBox);
            return -3;
        }
        return vantorix::segment_with_seed(*ctx, [&](cv::Mat& labels) {
            return vantorix::SubjectSeed{vantorix::subject_box_rect(labels.cols, labels.rows, x, y, w, h), false};
        });
    });
}

VANTORIX_API int vantorix_get_mask(EngineContext* ctx, uint8_t* out_mask, int capacity) {
    if (!ctx || !out_mask) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const cv::Mat& mask = ctx->subject_mask;
        if (!ctx->mask_ready || mask.empty()) {
            ctx->fail(vantorix::msg::kNoMaskForCopy);
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
