#pragma once
// JPEG straight through libjpeg(-turbo), with the parameters OpenCV's codec
// uses, so that pixels and file bytes are the same as its imdecode/imencode
// give, without loading the codecs module. Anything outside the common case is
// left to the module: the functions then return false.
#include <cstdint>
#include <functional>
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

// The same encoder fed row by row: row(y) gives row y (width x channels
// bytes, grey or BGR) and stays valid until the next call, so a picture can
// be converted for the encoder a row at a time. Quality is clamped to 0..100.
bool jpeg_encode_rows(int width, int height, int channels, int quality,
                      const std::function<const uint8_t*(int y)>& row, std::vector<uint8_t>& out);

// True for the extensions the JPEG encoder takes (".jpg", ".jpeg", ".jpe", any case).
bool is_jpeg_extension(const std::string& ext);

}  // namespace vantorix
