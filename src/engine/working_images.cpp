#include "engine/working_images.h"

namespace vantorix {

void ImagePipeline::set_image(const ImageBuffer& source) {
    if (source.empty())
        working = ImageBuffer();
    else
        working = ImageBuffer(source.mat);  // deep copy
    own_working.adopt(working.mat);
}

cv::Mat ImagePipeline::processed_8bit() const {
    if (processed.empty()) return cv::Mat();
    return processed.to_8bit();
}

void ImagePipeline::clear() {
    working = ImageBuffer();
    processed = ImageBuffer();
    scratch.release();
    own_working.forget();
    own_processed.forget();
    own_scratch.forget();
}

}  // namespace vantorix
