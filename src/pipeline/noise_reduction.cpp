// Noise reduction: luminance and colour.
#include "pipeline/stages.h"

namespace vantorix {

void apply_noise_reduction(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
