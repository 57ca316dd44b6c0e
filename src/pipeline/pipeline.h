#pragma once
#include <opencv2/core.hpp>

#include "engine/adjustments.h"
#include "engine/image_buffer.h"

namespace vantorix {

// The loaded image and the last development of it.
struct ImagePipeline {
    ImageBuffer working;
    ImageBuffer processed;

    void set_image(const ImageBuffer& source);
    // Runs every development step over `working`; no-op when it is empty.
    void process(const Adjustments& adj);
    cv::Mat processed_8bit() const;
};

// The two tone steps the driver does itself (exposed for tests).
void apply_brightness(cv::Mat& img, const Adjustments& adj);
void apply_contrast(cv::Mat& img, const Adjustments& adj);

}  // namespace vantorix
