#pragma once
// Row-parallel loops for per-pixel steps. Each row is computed on its own
// from its own input, so the result is the same bits for any thread count.
#include <opencv2/core.hpp>

namespace vantorix {

// Calls body(y) for every y in 0..rows-1, rows split among OpenCV's threads.
template <class Body>
void for_each_row(int rows, const Body& body) {
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& r) {
        for (int y = r.start; y < r.end; ++y) body(y);
    });
}

}  // namespace vantorix
