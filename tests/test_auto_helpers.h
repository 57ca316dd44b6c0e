#pragma once
// Helpers shared by the tests of the automatic tools.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "engine/context.h"
#include "support/test_support.h"

namespace autotest {

// Writes an 8-bit BGR image as PNG and loads it through the public interface.
inline bool load_png(EngineContext* ctx, const cv::Mat& bgr, const std::string& name) {
    const std::string path = testsupport::temp_path(name + ".png");
    if (!cv::imwrite(path, bgr)) return false;
    return vantorix_load_arw(ctx, path.c_str(), 1) == 0;
}

// Puts an 8-bit RGB (or 16-bit RGBA) image straight into the context's
// working image, as a load of an ordinary file would.
inline void set_working(EngineContext* ctx, const cv::Mat& rgb) {
    ctx->pipeline.working = vantorix::ImageBuffer(rgb);
}

// A uniform 8-bit image of the given grey level.
inline cv::Mat grey(int width, int height, int level) {
    return cv::Mat(height, width, CV_8UC3, cv::Scalar(level, level, level));
}

}  // namespace autotest
