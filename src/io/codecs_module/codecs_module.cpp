// The codecs module: OpenCV's imgcodecs behind one table of entry points.
#include <opencv2/imgcodecs.hpp>

#include "io/codecs.h"

namespace {

cv::Mat decode(const cv::Mat& bytes, int flags) { return cv::imdecode(bytes, flags); }

bool encode(const std::string& ext, const cv::Mat& image, std::vector<uint8_t>& out, const std::vector<int>& params) {
    return cv::imencode(ext, image, out, params);
}

const vantorix::CodecTable kTable = {decode, encode};

}  // namespace

extern "C" __attribute__((visibility("default"))) const vantorix::CodecTable* vantorix_codec_table() {
    return &kTable;
}
