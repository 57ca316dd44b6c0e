#pragma once
// Subject segmentation internals, exposed for tests and benchmarks.
#include <cstdint>
#include <opencv2/core.hpp>

namespace vantorix {

// Long side of the reduced copy that GrabCut works on.
constexpr int kSegmentationSide = 512;

// GrabCut iterations per segmentation.
constexpr int kGrabCutIterations = 5;

// State given to the thread's OpenCV random generator for the GrabCut call
// (the state of a freshly constructed cv::RNG), so the mask depends only on
// the image and the centre.
constexpr uint64_t kGrabCutRngState = 0xffffffffULL;

// The GrabCut seed rectangle in pixels of a width x height image around the
// centre (center_x, center_y) given as fractions; a negative (or NaN) value
// stands for the middle. 60 % of each side, kept one pixel clear of the
// edges; its width or height can come out zero or negative when the image is
// too small or the centre lies far outside the image (GrabCut then fails).
cv::Rect subject_seed_rect(int width, int height, float center_x, float center_y);

// The loaded 16-bit RGBA image as 8-bit blue-green-red: each sample ÷257 as
// ImageBuffer::to_8bit gives it (OpenCV's rounding, from a table made by that
// very conversion), alpha dropped, channels reversed, in one pass.
cv::Mat loaded_bgr8(const cv::Mat& rgba16);

// Sets the calling thread's cv::theRNG() to a fixed state for its lifetime
// and restores the previous state afterwards (also when an exception passes).
class ScopedRngState {
public:
    explicit ScopedRngState(uint64_t state) : rng_(cv::theRNG()), saved_(rng_.state) { rng_.state = state; }
    ~ScopedRngState() { rng_.state = saved_; }
    ScopedRngState(const ScopedRngState&) = delete;
    ScopedRngState& operator=(const ScopedRngState&) = delete;

private:
    cv::RNG& rng_;
    uint64_t saved_;
};

}  // namespace vantorix
