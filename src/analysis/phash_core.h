#pragma once
#include <libraw/libraw_types.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace vantorix {

// The value at index size / 2 of `values` sorted ascending (a partial
// selection; the same value a full sort gives).
float phash_median(std::vector<float> values);

// The hash of an 8-bit grey image: reduced to 32 x 32 with area
// interpolation, forward DCT, and one bit per coefficient of the top-left
// 8 x 8 block (row u, column v sets bit 63 - (8u + v)) that lies strictly
// above the median of the 63 coefficients other than (0, 0).
uint64_t phash_of_grey(const cv::Mat& grey);

// The grey picture of an in-memory embedded thumbnail: a JPEG decoded in grey
// (left empty when it does not decode), or a bitmap converted to grey. -3 for
// a bitmap layout that cannot be converted, else 0.
int phash_grey_from_thumbnail(const libraw_processed_image_t& img, cv::Mat& grey);

// The hash of an image file: ordinary images decoded in grey and reduced to
// 256 pixels on the longer side, RAW files through their embedded thumbnail.
// 0, or -1 (unreadable / LibRaw cannot open), -2 (no thumbnail unpacked),
// -3 (no in-memory thumbnail, or a bitmap layout that cannot be converted),
// -4 (the thumbnail decodes to an empty image).
int phash_file(const std::string& path, uint64_t& hash);

}  // namespace vantorix
