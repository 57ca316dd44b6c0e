#pragma once
// Helpers of the lens-correction stage, exposed for tests.
#include <opencv2/core.hpp>

namespace vantorix {

// Replaces `plane` by one of exactly width × height, centred on the old one:
// a centred crop when it is at least that large, otherwise the old plane
// copied onto a zero plane at (-dx, -dy), where dx = (cols - width) / 2 and
// dy = (rows - height) / 2 (integer division toward zero).
void fit_plane_to_size(cv::Mat& plane, int width, int height);

// Where a plane lands when fitted to width × height: its rectangle
// (src_x, src_y, w, h) goes to (dst_x, dst_y); everything else is 0.
struct PlanePlacement {
    int src_x = 0, src_y = 0, dst_x = 0, dst_y = 0, w = 0, h = 0;
};
PlanePlacement place_plane(int plane_w, int plane_h, int width, int height);

// Writes `plane` (CV_32FC1; may be empty) fitted to the image size into one
// channel of the CV_32FC4 image: the same values as fit_plane_to_size followed
// by inserting the plane as that channel, without the intermediate plane.
void fit_plane_into_channel(const cv::Mat& plane, cv::Mat& img, int channel);

}  // namespace vantorix
