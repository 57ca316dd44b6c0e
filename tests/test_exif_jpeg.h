#pragma once
// Test JPEGs with chosen EXIF entries: the block is built with libexif and
// inserted as an APP1 segment into an OpenCV-encoded JPEG.
#include <libexif/exif-data.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

namespace exiftest {

// One entry exactly as it will be stored: format, component count and the
// value bytes (already in the block's byte order).
struct Tag {
    ExifIfd ifd;
    int tag;
    ExifFormat format;
    unsigned long components;
    std::vector<uint8_t> bytes;
};

// The byte order every value helper below writes in (default big-endian).
struct Block {
    ExifByteOrder order = EXIF_BYTE_ORDER_MOTOROLA;
    std::vector<Tag> tags;

    Block& ascii(ExifIfd ifd, int tag, const std::string& text);  // with its NUL
    Block& rational(ExifIfd ifd, int tag, std::vector<std::pair<uint32_t, uint32_t>> values);
    Block& srational(ExifIfd ifd, int tag, std::vector<std::pair<int32_t, int32_t>> values);
    Block& shorts(ExifIfd ifd, int tag, std::vector<uint16_t> values);
    Block& longs(ExifIfd ifd, int tag, std::vector<uint32_t> values);
    Block& raw(ExifIfd ifd, int tag, ExifFormat format, unsigned long components, std::vector<uint8_t> bytes);

    // The serialised EXIF block (starting with "Exif\0\0").
    std::vector<uint8_t> serialise() const;
};

// `jpeg` with `exif` inserted as APP1 right after SOI.
std::vector<uint8_t> insert_app1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif);

// Writes a JPEG of `image` (default: a 48 x 32 grey-blue picture) carrying
// the block; returns its path in the test's temporary folder.
std::string write_jpeg(const std::string& name, const Block& block, const cv::Mat& image = cv::Mat());

}  // namespace exiftest
