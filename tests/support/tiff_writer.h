#pragma once
// Little-endian TIFF structures for test files: DNG images and EXIF blocks.
#include <libexif/exif-data.h>  // the IFD, tag and format names of EXIF

#include <cstdint>
#include <map>
#include <opencv2/core.hpp>
#include <string>
#include <tuple>
#include <vector>

namespace testsupport {

// Appends x as `bytes` little-endian bytes.
inline void put(std::vector<uint8_t>& v, uint32_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// One directory: tag -> (type, count, value bytes), written in tag order.
struct TiffIfd {
    std::map<uint16_t, std::tuple<uint16_t, uint32_t, std::vector<uint8_t>>> tags;

    // BYTE, UNDEFINED, SHORT or LONG values, or (S)RATIONAL numerator, denominator pairs (types as ExifFormat).
    TiffIfd& add(uint16_t tag, int type, const std::vector<int64_t>& values);
    TiffIfd& ascii(uint16_t tag, const std::string& text);  // with its NUL
    size_t size() const;  // the directory and its values that do not fit an entry
    // Appends the directory at out.size(), offsets counted from out's start.
    void write(std::vector<uint8_t>& out) const;
};

// An EXIF block ("Exif\0\0" and a TIFF structure of IFD 0 and the EXIF and GPS directories).
struct ExifBlock {
    TiffIfd dirs[EXIF_IFD_COUNT];
    ExifBlock& ascii(ExifIfd ifd, int tag, const std::string& text) { return dirs[ifd].ascii(tag, text), *this; }
    ExifBlock& add(ExifIfd ifd, int tag, ExifFormat format, const std::vector<int64_t>& values) {
        return dirs[ifd].add(tag, format, values), *this;
    }
    std::vector<uint8_t> serialise() const;
};

// `jpeg` with `exif` inserted as APP1 right after SOI.
std::vector<uint8_t> insert_app1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif);
// Writes a JPEG of `image` (default: a 48 x 32 flat picture) carrying the block to temp_path(name); returns the path.
std::string write_exif_jpeg(const std::string& name, const ExifBlock& block, const cv::Mat& image = cv::Mat());

}  // namespace testsupport
