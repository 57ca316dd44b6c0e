// Lens corrections: distortion, chromatic aberration, lens vignetting, defringe.
#include "pipeline/stages.h"

namespace vantorix {

void apply_lens_corrections(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
