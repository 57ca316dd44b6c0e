// Creative vignette and film grain.
#include "pipeline/stages.h"

namespace vantorix {

void apply_vignette(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

void apply_grain(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
