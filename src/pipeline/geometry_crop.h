#pragma once
// The crop arithmetic of the geometry stage, exposed for tests.
#include <opencv2/core.hpp>

#include "engine/adjustments.h"

namespace vantorix {

// The kept rectangle of a width × height image for the crop fractions, or
// false when the image stays uncropped: w or h not above 0 (or NaN), the
// full-frame shortcut (x = y = 0, w and h >= 0.99), values whose pixel
// products are not finite or do not fit an int, or a result of 10 pixels or
// fewer in either direction.
bool crop_rectangle(int width, int height, const CropRect& crop, cv::Rect& rect);

}  // namespace vantorix
