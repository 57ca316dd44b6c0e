#pragma once
// A minimal DNG writer for tests: an uncompressed 16-bit RGGB Bayer mosaic of
// one flat colour, optionally with an embedded thumbnail (JPEG or 8-bit RGB
// bitmap) in the first IFD and the raw data in a sub-IFD, as cameras lay it out.
// The colour matrix makes the camera space linear sRGB; make "Vantorix".
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace testsupport {

struct DngOptions {
    int width = 64;   // even
    int height = 48;  // even
    // Linear sensor values of the flat colour, 0..65535.
    uint16_t red = 16384;
    uint16_t green = 16384;
    uint16_t blue = 16384;
    enum class Thumb { none, jpeg, bitmap };
    Thumb thumb = Thumb::none;
    // Thumbnail picture (CV_8UC3, BGR; default a flat 160 x 120 picture). For
    // Thumb::jpeg it is encoded with OpenCV unless jpeg_bytes is given, which
    // is then embedded unchanged.
    cv::Mat thumbnail;
    std::vector<uint8_t> jpeg_bytes;
};

std::vector<uint8_t> make_dng(const DngOptions& options);
// Writes make_dng(options) to path; false on an I/O failure.
bool write_dng(const std::string& path, const DngOptions& options);

// The JPEG bytes embedded by make_dng for these options (empty without a JPEG thumbnail).
std::vector<uint8_t> dng_thumbnail_jpeg(const DngOptions& options);

}  // namespace testsupport
