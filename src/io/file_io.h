#pragma once
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace vantorix {

// True when the lower-cased path ends in .jpg .jpeg .png .tif .tiff .bmp .webp.
bool has_image_extension(const std::string& path);

// Reads a regular file whole. False (and `out` empty) for a missing file, a
// directory, a read error or a short read.
bool read_file_bytes(const std::string& path, std::vector<uint8_t>& out);

// Replaces `path` atomically: writes a temporary file in the same folder and
// renames it over the target. On failure the previous file is untouched and
// no temporary file remains.
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes);

// Reads and decodes an image file with cv::imdecode flags; empty on failure.
cv::Mat read_image_file(const std::string& path, int flags);

// The extension from the last '.' (dot included); empty when there is none.
std::string path_extension(const std::string& path);

// Encodes with cv::imencode by the path's extension. False when it cannot.
bool encode_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                  std::vector<uint8_t>& out);

// Encodes and writes; true only when the whole file was written.
bool write_image_file(const std::string& path, const cv::Mat& image, const std::vector<int>& params);

}  // namespace vantorix
