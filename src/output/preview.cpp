#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/context.h"
#include "engine/guard.h"
#include "output/histogram.h"
#include "pipeline/pipeline.h"
#include "pipeline/stages.h"

namespace vantorix {

int background_blur_kernel(float bg_blur) {
    const float scaled = bg_blur / 100.0f * 61.0f;
    int k = 3;
    if (scaled >= 0.0f && scaled < 1000.0f) k = static_cast<int>(scaled) | 1;
    else if (scaled >= 1000.0f) k = 61;
    return std::max(std::min(k, 61), 3);
}

cv::Mat blur_background(const cv::Mat& preview, const cv::Mat& mask, float bg_blur) {
    CV_Assert(preview.type() == CV_8UC4 && mask.type() == CV_8UC1 && !mask.empty());
    cv::Mat m8 = mask;
    if (mask.cols != preview.cols || mask.rows != preview.rows)
        cv::resize(mask, m8, preview.size(), 0, 0, cv::INTER_LINEAR);
    const int k = background_blur_kernel(bg_blur);
    cv::Mat blurred;
    cv::GaussianBlur(preview, blurred, cv::Size(k, k), 0, 0, cv::BORDER_REFLECT_101);

    // Blend weight m = mask/255 exactly as OpenCV's scaled conversion to
    // float gives it, and 1 - m in single precision, for all 256 mask values.
    cv::Mat levels(1, 256, CV_8U), weights;
    for (int i = 0; i < 256; ++i) levels.at<uchar>(i) = static_cast<uchar>(i);
    levels.convertTo(weights, CV_32F, 0.00392156862745098);
    float sharp_weight[256], blur_weight[256];
    for (int i = 0; i < 256; ++i) {
        sharp_weight[i] = weights.at<float>(i);
        blur_weight[i] = 1.0f - sharp_weight[i];
    }

    // One pass instead of float copies of the preview, the blurred preview
    // and the four-channel mask: result = sharp·m + blurred·(1 − m) per
    // channel (alpha too) in single precision (separate products and sum),
    // rounded to nearest even and saturated as OpenCV's conversion back to
    // 8 bits does. Four pixels per step where 128-bit vectors exist. The
    // result overwrites the blurred copy in place (each pixel is read before
    // it is written), which saves a full-size allocation.
    cv::Mat& out = blurred;
    for (int y = 0; y < preview.rows; ++y) {
        const uchar* p = preview.ptr<uchar>(y);
        const uchar* b = blurred.ptr<uchar>(y);  // same row as o
        const uchar* w = m8.ptr<uchar>(y);
        uchar* o = out.ptr<uchar>(y);
        int x = 0;
#if CV_SIMD128
        for (; x + 4 <= preview.cols; x += 4) {
            cv::v_uint16x8 p16[2], b16[2];
            cv::v_expand(cv::v_load(p + 4 * x), p16[0], p16[1]);
            cv::v_expand(cv::v_load(b + 4 * x), b16[0], b16[1]);
            cv::v_uint32x4 p32[4], b32[4];
            cv::v_expand(p16[0], p32[0], p32[1]);
            cv::v_expand(p16[1], p32[2], p32[3]);
            cv::v_expand(b16[0], b32[0], b32[1]);
            cv::v_expand(b16[1], b32[2], b32[3]);
            cv::v_int32x4 r[4];
            for (int j = 0; j < 4; ++j) {
                const cv::v_float32x4 sharp =
                    cv::v_cvt_f32(cv::v_reinterpret_as_s32(p32[j])) * cv::v_setall_f32(sharp_weight[w[x + j]]);
                const cv::v_float32x4 soft =
                    cv::v_cvt_f32(cv::v_reinterpret_as_s32(b32[j])) * cv::v_setall_f32(blur_weight[w[x + j]]);
                r[j] = cv::v_round(sharp + soft);
            }
            cv::v_store(o + 4 * x, cv::v_pack_u(cv::v_pack(r[0], r[1]), cv::v_pack(r[2], r[3])));
        }
#endif
        for (; x < preview.cols; ++x) {
            const float m = sharp_weight[w[x]], im = blur_weight[w[x]];
            for (int c = 0; c < 4; ++c) {
                const float sharp = static_cast<float>(p[4 * x + c]) * m;
                const float soft = static_cast<float>(b[4 * x + c]) * im;
                o[4 * x + c] = cv::saturate_cast<uchar>(sharp + soft);
            }
        }
    }
    return out;
}

cv::Mat mask_on_development(const cv::Mat& mask, cv::Size working, const Adjustments& adj) {
    cv::Mat m;
    if (mask.size() == working)
        m = mask.clone();  // the geometry may flip in place: keep the stored mask
    else
        cv::resize(mask, m, working, 0, 0, cv::INTER_LINEAR);
    transform_like_picture(m, adj);
    return m;
}

void render_preview(const EngineContext& ctx, const ImageBuffer& processed, cv::Mat& out) {
    if (ctx.mask_ready && ctx.bg_blur > 0.0f && !ctx.subject_mask.empty()) {
        const cv::Mat mask = mask_on_development(ctx.subject_mask, ctx.pipeline.working.mat.size(), ctx.adjustments);
        blur_background(processed.to_8bit(), mask, ctx.bg_blur).copyTo(out);
    } else {
        processed.mat.convertTo(out, CV_8U, 0.0038910505836575876);  // as ImageBuffer::to_8bit
    }
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_get_preview(EngineContext* ctx, uint8_t* buffer, int buffer_size) {
    if (!ctx || !buffer) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* developed =
                vantorix::developed_image(ctx, vantorix::Develop::always, true, &progress);
            if (!developed) return -1;
            const vantorix::ImageBuffer& processed = *developed;
            if (processed.empty()) {
                ctx->fail(vantorix::msg::kEmptyDevelopment);
                return -1;
            }
            const long long n = static_cast<long long>(processed.cols()) * processed.rows() * 4;
            if (n > 0x7fffffffLL || static_cast<long long>(buffer_size) < n) {
                ctx->fail(vantorix::msg::kBufferTooSmall);
                return -1;
            }
            // The host's buffer as an 8-bit RGBA image: the conversion writes straight into it.
            cv::Mat out(processed.rows(), processed.cols(), CV_8UC4, buffer);
            vantorix::render_preview(*ctx, processed, out);
            CV_Assert(out.data == buffer);
            return 0;
        });
    });
}

VANTORIX_API int vantorix_get_histogram(EngineContext* ctx, uint32_t* out_red, uint32_t* out_green,
                                        uint32_t* out_blue, uint32_t* out_luminance) {
    if (!ctx || !out_red || !out_green || !out_blue || !out_luminance) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Progress progress(ctx->progress_fn, ctx->progress_user);
        return progress.run(VANTORIX_STAGE_PROCESS, [&]() -> int {
            const vantorix::ImageBuffer* developed =
                vantorix::developed_image(ctx, vantorix::Develop::when_stale, true, &progress);
            if (!developed) return -1;
            cv::Mat f = developed->to_float();
            vantorix::compute_histogram(f, out_red, out_green, out_blue, out_luminance);
            return 0;
        });
    });
}

}  // extern "C"
