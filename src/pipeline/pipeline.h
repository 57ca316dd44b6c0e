#pragma once
#include <opencv2/core.hpp>

#include "engine/adjustments.h"
#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace vantorix {

// The loaded image and the last development of it.
struct ImagePipeline {
    ImageBuffer working;
    ImageBuffer processed;
    // The float image of the last run, kept so that the next run of the same
    // size writes into memory that is already mapped instead of a fresh
    // allocation (first-touch page faults cost more than the conversion).
    cv::Mat scratch;

    void set_image(const ImageBuffer& source);
    // Runs every development step over `working`; no-op when it is empty.
    // Reports stage `stage` to `progress` after each step; when the host
    // cancels, stops and returns false with `processed` untouched.
    bool process(const Adjustments& adj, Progress* progress = nullptr, int stage = 0);
    cv::Mat processed_8bit() const;
};

// The two tone steps the driver does itself (exposed for tests).
void apply_brightness(cv::Mat& img, const Adjustments& adj);
void apply_contrast(cv::Mat& img, const Adjustments& adj);

}  // namespace vantorix
