// Tone curves: master and per-channel lookup curves.
#include "pipeline/stages.h"

namespace vantorix {

void apply_tone_curves(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
