#pragma once
// Builds JPEG files carrying an EXIF block with chosen tags (through libexif).
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace testsupport {

struct ExifTags {
    std::string make;
    std::string model;
    int orientation = 0;            // 0: no tag
    size_t user_comment_bytes = 0;  // size of an UNDEFINED UserComment, to make big blocks
};

// The serialised EXIF block ("Exif\0\0" + TIFF structure).
std::vector<uint8_t> build_exif_block(const ExifTags& tags);
// An OpenCV-encoded JPEG of `bgr` with the block as APP1 right after SOI.
std::vector<uint8_t> jpeg_with_exif(const cv::Mat& bgr, const std::vector<uint8_t>& exif_block);

// Reads Make and Orientation back with libexif ("" / 0 when absent).
std::string exif_make_of(const std::string& path);
int exif_orientation_of(const std::string& path);

}  // namespace testsupport
