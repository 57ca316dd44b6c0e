// Clarity and texture: local contrast at two scales.
#include "pipeline/stages.h"

namespace vantorix {

void apply_clarity_texture(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
