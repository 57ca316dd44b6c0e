#pragma once
#include <opencv2/core.hpp>
#include <vector>

#include "engine/image_buffer.h"

namespace vantorix {

// Remembers which matrix memory the engine allocated itself, so that the next
// image of the same size can be written into it instead of a fresh allocation.
// The engine never keeps a second reference to such memory; a matrix that
// other code put in its place (a different data pointer) is never written
// into: it is released and replaced.
class OwnedMemory {
public:
    bool holds(const cv::Mat& m) const { return data_ != nullptr && m.data == data_; }
    void adopt(const cv::Mat& m) { data_ = m.data; }
    void forget() { data_ = nullptr; }

private:
    const uchar* data_ = nullptr;
};

// Work buffers the development stages keep between renders, so that a
// re-render writes into pages it already has: full-size float planes and the
// resampling targets of the geometry and lens stages.
struct ScratchPool {
    cv::Mat slots[8];
    std::vector<cv::Mat> planes = std::vector<cv::Mat>(3);
    cv::Mat geometry_kept, lens_kept;
};

// The loaded image and the last development of it. The development itself
// (run_pipeline) lives in the pipeline module.
struct ImagePipeline {
    ImageBuffer working;
    ImageBuffer processed;
    // The float image of a run. The result is written over it, so `processed`
    // keeps its memory; the next run takes fresh memory for its float image
    // (and reuses this one when a run was cancelled before its result).
    cv::Mat scratch;
    OwnedMemory own_working, own_scratch;
    // The stages' buffers, held by the context whichever thread develops.
    ScratchPool stage_scratch;

    // `working` shares `source`'s pixels (empty for an empty source).
    void set_image(const ImageBuffer& source);
    cv::Mat processed_8bit() const;
    // Empties all three images.
    void clear();
};

}  // namespace vantorix
