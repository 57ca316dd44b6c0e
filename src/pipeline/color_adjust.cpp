// Colour adjustments: saturation and vibrance, HSL bands, split toning.
#include "pipeline/stages.h"

namespace vantorix {

void apply_saturation_vibrance(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

void apply_hsl(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

void apply_split_toning(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
