#pragma once
// OpenCV's image codecs, reached through a private module that is loaded on
// first use: a process that decodes and encodes no pixels (a metadata reader,
// a RAW thumbnail) never maps them and their hundred-odd dependencies.
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace vantorix {

// The module's entry points; the same contracts as cv::imdecode and cv::imencode.
struct CodecTable {
    cv::Mat (*decode)(const cv::Mat& bytes, int flags);
    bool (*encode)(const std::string& ext, const cv::Mat& image, std::vector<uint8_t>& out,
                   const std::vector<int>& params);
};

// cv::imdecode of a 1-row CV_8U matrix of encoded bytes (common JPEGs decode
// directly, without the module); throws cv::Exception when it fails or the
// module cannot be loaded.
cv::Mat codec_decode(const cv::Mat& bytes, int flags);
// cv::imencode (common JPEGs encode directly, without the module); throws
// cv::Exception when the module cannot be loaded.
bool codec_encode(const std::string& ext, const cv::Mat& image, std::vector<uint8_t>& out,
                        const std::vector<int>& params);

}  // namespace vantorix

// Defined by the module; linked straight into programs that carry the codecs themselves.
extern "C" const vantorix::CodecTable* vantorix_codec_table();
