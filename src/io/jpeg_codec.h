#pragma once
// JPEG straight through libjpeg(-turbo), with the parameters OpenCV's codec
// uses, so that pixels and file bytes are the same as its imdecode/imencode
// give, without loading the codecs module. Anything outside the common case is
// left to the module: the functions then return false.
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace vantorix {

// Decodes a JPEG as cv::imdecode(bytes, flags) does for flags IMREAD_COLOR
// (8-bit BGR) or IMREAD_GRAYSCALE, EXIF orientation applied. False, with `out`
// untouched, for other flags, CMYK/YCCK files, any libjpeg warning or error
// (damaged or truncated data) and an orientation that cannot be told for
// certain.
bool jpeg_decode_direct(const uint8_t* data, size_t size, int flags, cv::Mat& out);

// Encodes as cv::imencode(ext, image, out, params) does for a ".jpg", ".jpeg"
// or ".jpe" extension, an 8-bit grey or BGR image and params that are empty
// or one IMWRITE_JPEG_QUALITY. False (nothing written) otherwise.
bool jpeg_encode_direct(const std::string& ext, const cv::Mat& image, const std::vector<int>& params,
                        std::vector<uint8_t>& out);

}  // namespace vantorix
