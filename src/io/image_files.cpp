// Encoded images in files and memory: the size check before decoding, and
// encoding through the codecs.
#include <cstdint>
#include <opencv2/imgcodecs.hpp>

#include "io/codecs.h"
#include "io/file_io.h"

namespace vantorix {

namespace {

void put_error(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

}  // namespace

cv::Mat decode_image(const uint8_t* data, size_t size, int flags, std::string* error) {
    put_error(error, std::string());
    uint64_t w = 0, h = 0;
    if (!image_header_size(data, size, w, h) || size > static_cast<size_t>(INT32_MAX)) return cv::Mat();
    if (w > kMaxImagePixels || h > kMaxImagePixels || w * h > kMaxImagePixels) {
        put_error(error, "image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels exceeds the limit of " +
                       std::to_string(kMaxImagePixels) + " pixels");
        return cv::Mat();
    }
    try {
        const cv::Mat bytes(1, static_cast<int>(size), CV_8UC1, const_cast<uint8_t*>(data));
        return codec_decode(bytes, flags);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}

cv::Mat read_image_file(const std::string& path, int flags, std::string* error) {
    put_error(error, std::string());
    std::vector<uint8_t> bytes;
    if (!read_file_bytes(path, bytes, error) || bytes.empty()) return cv::Mat();
    return decode_image(bytes.data(), bytes.size(), flags, error);
}

bool encode_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                  std::vector<uint8_t>& out) {
    out.clear();
    const std::string ext = path_extension(path);
    if (ext.empty() || image.empty()) return false;
    try {
        return codec_encode(ext, image, out, params) && !out.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

bool write_image_file(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                      std::string* error) {
    std::vector<uint8_t> bytes;
    if (!encode_image(path, image, params, bytes)) {
        put_error(error, "cannot encode '" + path + "'");
        return false;
    }
    return write_file_atomic(path, bytes, error);
}

}  // namespace vantorix
