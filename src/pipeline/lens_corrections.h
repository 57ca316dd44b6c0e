#pragma once
// Helpers of the lens-correction stage, exposed for tests.
#include <opencv2/core.hpp>

namespace vantorix {

// Replaces `plane` by one of exactly width × height, centred on the old one:
// a centred crop when it is at least that large, otherwise the old plane
// copied onto a zero plane at (-dx, -dy), where dx = (cols - width) / 2 and
// dy = (rows - height) / 2 (integer division toward zero).
void fit_plane_to_size(cv::Mat& plane, int width, int height);

}  // namespace vantorix
