#pragma once
// Subject segmentation internals, exposed for tests and benchmarks.
#include <cstdint>
#include <functional>
#include <opencv2/core.hpp>

struct EngineContext;

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

// The auto seed as GrabCut labels, drawn into a CV_8UC1 matrix of the
// reduced copy's size: everything probable background, a filled centred
// ellipse with semi-axes (3 W) / 10 and (3 H) / 10 probable foreground, and a
// band of W / 20 columns and H / 20 rows (at least one) along every edge
// definite background.
void subject_seed_mask(cv::Mat& labels);

// Whether a user box (fractions of width and height) can seed GrabCut: all
// four values finite, w and h above 0, and overlapping the frame
// (x < 1, y < 1, x + w > 0, y + h > 0).
bool subject_box_valid(float x, float y, float w, float h);

// The user box in pixels of a width x height copy: each edge at the nearest
// pixel boundary (the box limited to the frame), at least one pixel wide and
// high, then kept one pixel clear of every edge of the frame.
cv::Rect subject_box_rect(int width, int height, float x, float y, float w, float h);

// How GrabCut starts: from a rectangle, or from labels drawn by the seed.
struct SubjectSeed {
    cv::Rect rect;
    bool use_mask;
};

// The segmentation every vantorix_segment_subject* shares: the loaded image
// as 8-bit BGR, reduced to a long side of 512, GrabCut (5 iterations, fixed
// random state) started by `seed` (which gets the zeroed label matrix of the
// reduced copy, may draw into it, and says how to start), clean-up, upscale
// and feathering into ctx.subject_mask. Returns 0, -1 with "no image loaded"
// or -2 with "GrabCut failed".
int segment_with_seed(EngineContext& ctx, const std::function<SubjectSeed(cv::Mat& labels)>& seed);

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
