#pragma once
// Shared fixtures of the benchmarks.
#include <opencv2/core.hpp>
#include <string>

#include "vantorix.h"

namespace benchsupport {

// ../shared/corpus next to the checkout ("" when absent).
std::string corpus_dir();
// A 4096 x 2731 photograph-like test image (CV_32FC4, 0..1), made once.
const cv::Mat& float_image_4096();
// A context holding a 4096 x 2731 image (the corpus JPEG when present, else
// a synthetic one written to a temporary file). Owned by the caller.
EngineContext* context_4096();
// Path of a large JPEG to load (the corpus's 6240 x 4160 file, else a synthetic 6000 x 4000 one).
std::string large_jpeg_path();

}  // namespace benchsupport
