// Dehaze: dark-channel haze removal.
#include "pipeline/stages.h"

namespace vantorix {

void apply_dehaze(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
