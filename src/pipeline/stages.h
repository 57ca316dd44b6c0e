#pragma once
// Development stages in the order the driver runs them. Every stage takes the
// CV_32FC4 pipeline image (red, green, blue, alpha; nominally 0..1) and the
// read-only settings, returns without touching the image when its settings are
// neutral, and leaves alpha alone. Only geometry changes the image size.
#include <opencv2/core.hpp>

#include "engine/adjustments.h"

namespace vantorix {

void apply_white_balance(cv::Mat& img, const Adjustments& adj);     // white_balance.cpp
void apply_exposure(cv::Mat& img, const Adjustments& adj);          // exposure.cpp
void apply_highlights_shadows(cv::Mat& img, const Adjustments& adj);  // tone_regions.cpp
void apply_whites_blacks(cv::Mat& img, const Adjustments& adj);       // tone_regions.cpp
void apply_tone_curves(cv::Mat& img, const Adjustments& adj);       // tone_curves.cpp
void apply_clarity_texture(cv::Mat& img, const Adjustments& adj);   // clarity_texture.cpp
void apply_dehaze(cv::Mat& img, const Adjustments& adj);            // dehaze.cpp
void apply_saturation_vibrance(cv::Mat& img, const Adjustments& adj);  // color_adjust.cpp
void apply_hsl(cv::Mat& img, const Adjustments& adj);                  // color_adjust.cpp
void apply_split_toning(cv::Mat& img, const Adjustments& adj);         // color_adjust.cpp
void apply_noise_reduction(cv::Mat& img, const Adjustments& adj);   // noise_reduction.cpp
void apply_sharpening(cv::Mat& img, const Adjustments& adj);        // sharpen.cpp
// The same in one whole-image pass (apply_sharpening works in bands of rows
// when the kernel is small enough); kept to prove the two equal.
void apply_sharpening_whole(cv::Mat& img, const Adjustments& adj);
void apply_lens_corrections(cv::Mat& img, const Adjustments& adj);  // lens_corrections.cpp
void apply_geometry(cv::Mat& img, const Adjustments& adj);          // geometry.cpp

// The distortion step of the lens corrections alone (lens_corrections.cpp).
// Works on an image of any type, as apply_geometry does.
void apply_lens_distortion(cv::Mat& img, const Adjustments& adj);
// Moves the pixels of a plane of the working image's size (any type, for
// example the 8-bit subject mask) exactly as the development moves the
// picture's: the distortion step, then the geometry stage, with the same
// maps, interpolation and borders (geometry.cpp). Colour-only steps (and the
// chromatic aberration, which shifts only red and blue) are left out.
void transform_like_picture(cv::Mat& plane, const Adjustments& adj);
void apply_vignette(cv::Mat& img, const Adjustments& adj);          // vignette_grain.cpp
void apply_grain(cv::Mat& img, const Adjustments& adj);             // vignette_grain.cpp

}  // namespace vantorix
