#pragma once
#include <opencv2/core.hpp>

#include "engine/adjustments.h"
#include "engine/context.h"
#include "engine/progress.h"
#include "engine/working_images.h"

namespace vantorix {

// Runs every development step over `p.working` into `p.processed`; no-op when
// `working` is empty. Reports `stage` to `progress` after each step; when the
// host cancels, stops and returns false with `p.processed` untouched.
bool run_pipeline(ImagePipeline& p, const Adjustments& adj, Progress* progress = nullptr, int stage = 0);

// When the exported functions develop: every call, or only when no valid
// development exists.
enum class Develop { always, when_stale };

// The developed image of `ctx`, developing first as `when` says; `mark_valid`
// sets processed_valid after a run. Null when no image is loaded ("no image
// loaded" stored) or when the host cancels the development ("cancelled").
const ImageBuffer* developed_image(EngineContext* ctx, Develop when, bool mark_valid, Progress* progress = nullptr);

// The CV_32FC4 image `f` converted as f.convertTo(dst, CV_16U, 65535.0)
// converts it, written over f's own memory from its first row on: the result
// is a CV_16UC4 matrix (rows packed) that shares f's block and reference
// count; f's float values are gone.
cv::Mat to_16bit_in_place(cv::Mat& f);
// True when both matrices hold references to the same allocation.
bool shares_block(const cv::Mat& a, const cv::Mat& b);

// The two tone steps the driver does itself (exposed for tests).
void apply_brightness(cv::Mat& img, const Adjustments& adj);
void apply_contrast(cv::Mat& img, const Adjustments& adj);

}  // namespace vantorix
