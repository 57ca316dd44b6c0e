// Tone regions: highlights and shadows, whites and blacks.
#include "pipeline/stages.h"

namespace vantorix {

void apply_highlights_shadows(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

void apply_whites_blacks(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
