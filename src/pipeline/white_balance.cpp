// White balance: channel gains from a colour temperature and a tint.
#include "pipeline/stages.h"

namespace vantorix {

void apply_white_balance(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
