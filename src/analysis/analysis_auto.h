#pragma once
// Internal entry points of the automatic tools (exposed for tests).
#include <cstdint>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "engine/image_buffer.h"
#include "vantorix.h"

struct EngineContext;

namespace vantorix {

// ---- Exposure --------------------------------------------------------------

// Analysis size of auto exposure (the aspect ratio is not kept).
constexpr int kExposureAnalysisSize = 256;

// Proposed exposure in stops from a 256-bin luminance histogram: moves the
// lower median toward 0.42; always within [-1, 1].
float exposure_from_histogram(const uint32_t* histogram);

// 256-bin histogram of a CV_32FC1 luminance plane, bin trunc(L * 255 + 0.5)
// limited to 0..255.
void luminance_histogram(const cv::Mat& luminance, uint32_t* histogram);

// Auto exposure of a loaded image (must not be empty).
float auto_exposure_of(const ImageBuffer& source);

// ---- Enhance -----------------------------------------------------------------

constexpr int kEnhanceAnalysisWidth = 512;

// Mean and standard deviation of the levels i/255 weighted by the counters;
// 0.5 and 0 for an empty histogram.
void histogram_mean_std(const uint32_t* histogram, float& mean, float& stddev);

// The four 256-bin histograms (compute_histogram) of a CV_32FC4 analysis
// image, or of its CV_16UC4 source converted as to_float does.
void analysis_histograms(const cv::Mat& analysis, uint32_t* red, uint32_t* green, uint32_t* blue, uint32_t* lum);

// Fills the 32 slots of an auto-enhance proposal from a CV_32FC4 analysis
// image (or its CV_16UC4 source, with the same result).
void enhance_from_analysis(const cv::Mat& analysis, float* slots);

// Fills the 32 slots for the context's loaded image; writes nothing when the
// context is null or holds no image.
void analyze_enhance(const EngineContext* ctx, AutoEnhanceResult& result);

// ---- Straighten --------------------------------------------------------------

constexpr int kStraightenAnalysisWidth = 800;

// Proposed rotation (degrees, positive counter-clockwise as the rotation
// setting takes it) from line segments (x1, y1, x2, y2; y grows downward):
// the length-weighted mean angle of the segments within 30 degrees of the
// horizontal and longer than 20 pixels; 0 when there is none.
float straighten_from_segments(const std::vector<cv::Vec4i>& segments);

// The segments found in an analysis image (blur, Canny, HoughLinesP); the
// image is CV_32FC4 or, measured the same way, its CV_16UC4 source.
std::vector<cv::Vec4i> straighten_segments(const cv::Mat& analysis);

// Auto straighten of a loaded image (must not be empty).
float auto_straighten_of(const ImageBuffer& source);

// The analysis copy of both straightening tools: the source resampled to
// 800 pixels wide (analysis_height rows), still 16-bit RGBA.
ImageBuffer straighten_analysis(const ImageBuffer& source);

// Rec. 709 luminance of an analysis image as 8 bits (x 255, rounded and
// saturated).
cv::Mat straighten_luma8(const cv::Mat& analysis);

// ---- Level -------------------------------------------------------------------

// Outcome of the level finder. status: 0 proposal, 1 no usable evidence,
// 2 ambiguous, 3 out of range (the vantorix_auto_level codes).
struct LevelResult {
    int status = 1;
    double estimate = 0.0;    // degrees, set_rotation's sign; 0 without samples
    double support = 0.0;     // S: length in the final window / 800
    double ratio2 = 0.0;      // best bin more than 2 degrees away / peak bin
    float confidence = 0.0f;  // 0..1
};

// One tilt sample: angle in degrees (within +-30, image coordinates, y
// down) and its weight (segment length in pixels).
struct LevelSample {
    double angle;
    double weight;
};

// Samples of line segments (x1, y1, x2, y2): horizontal-ish segments give
// their angle, vertical-ish ones their angle -+ 90; segments of 20 pixels or
// less and those between 30 and 60 degrees are dropped.
std::vector<LevelSample> level_samples(const std::vector<cv::Vec4f>& segments);

// The decision of the level finder on a list of samples.
LevelResult level_from_samples(const std::vector<LevelSample>& samples);

// The level finder on an 8-bit luminance plane (line segment detection,
// then level_from_samples).
LevelResult level_of_luma(const cv::Mat& luma8);

// ---- Crop ----------------------------------------------------------------------

constexpr int kCropAnalysisWidth = 512;

// 64 x 64 spectral-residual saliency of a luminance plane, 0..1.
cv::Mat spectral_residual_saliency(const cv::Mat& luminance);

// Gradient magnitude of a luminance plane, min-max normalised to 0..1.
cv::Mat edge_map(const cv::Mat& luminance);

// One crop candidate of the search: scale, rectangle in analysis pixels and
// the neighbourhood radius of its thirds points.
struct CropCandidate {
    float scale;
    int x, y, w, h;
    int radius;
};

// Calls visit for every candidate of the search over a width x height image,
// in search order (larger scale first, then top to bottom, left to right).
void for_each_crop_candidate(int width, int height, float aspect, float margin,
                             const std::function<void(const CropCandidate&)>& visit);

// Score of a candidate on the importance map (CV_32FC1, 0..1).
float crop_score(const cv::Mat& importance, const CropCandidate& c);

// The importance map (saliency and edges, blurred, 0..1) of a CV_32FC4 image
// (or of its CV_16UC4 source, with the same result).
cv::Mat crop_importance(const cv::Mat& image);

// Best crop on an importance map: the highest-scoring candidate, the earliest
// on ties; (0, 0, 1, 1) for an empty map or when no candidate fits. An aspect
// not above 0.01 is replaced by 1.5.
void best_crop_on_importance(const cv::Mat& importance, float aspect, float margin, float& x, float& y, float& w,
                             float& h);

// Best crop of a CV_32FC4 image (or of its CV_16UC4 source) as fractions of
// its size; (0, 0, 1, 1) for an empty image or when no candidate fits.
void find_best_crop(const cv::Mat& image, float aspect, float margin, float& x, float& y, float& w, float& h);

}  // namespace vantorix
