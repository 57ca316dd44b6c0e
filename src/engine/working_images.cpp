#include "engine/working_images.h"

namespace vantorix {

void ImagePipeline::set_image(const ImageBuffer& source) {
    // Shared, not copied: the working image is only ever read. Not ours to
    // write into, so the next load allocates afresh.
    working = source;
    own_working.forget();
}

cv::Mat ImagePipeline::processed_8bit() const {
    if (processed.empty()) return cv::Mat();
    return processed.to_8bit();
}

void ImagePipeline::clear() {
    working = ImageBuffer();
    processed = ImageBuffer();
    scratch.release();
    stage_scratch = ScratchPool();
    own_working.forget();
    own_scratch.forget();
}

}  // namespace vantorix
