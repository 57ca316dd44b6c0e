#include "support/tiff_writer.h"

#include "support/test_support.h"

namespace testsupport {

TiffIfd& TiffIfd::add(uint16_t tag, int type, const std::vector<int64_t>& values) {
    std::vector<uint8_t> bytes;
    const bool pairs = type == EXIF_FORMAT_RATIONAL || type == EXIF_FORMAT_SRATIONAL;
    const int width = type == EXIF_FORMAT_BYTE || type == EXIF_FORMAT_UNDEFINED ? 1 : type == EXIF_FORMAT_SHORT ? 2 : 4;
    for (int64_t x : values) put(bytes, static_cast<uint32_t>(x), width);
    tags[tag] = {static_cast<uint16_t>(type), static_cast<uint32_t>(values.size() / (pairs ? 2 : 1)), bytes};
    return *this;
}

TiffIfd& TiffIfd::ascii(uint16_t tag, const std::string& text) {
    tags[tag] = {EXIF_FORMAT_ASCII, static_cast<uint32_t>(text.size() + 1), std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1)};
    return *this;
}

size_t TiffIfd::size() const {
    size_t n = 6 + 12 * tags.size();
    for (const auto& t : tags) n += std::get<2>(t.second).size() > 4 ? (std::get<2>(t.second).size() + 1) & ~size_t(1) : 0;
    return n;
}

void TiffIfd::write(std::vector<uint8_t>& out) const {
    const uint32_t extra = static_cast<uint32_t>(out.size() + 6 + 12 * tags.size());
    std::vector<uint8_t> values;
    put(out, static_cast<uint32_t>(tags.size()), 2);
    for (const auto& [tag, entry] : tags) {
        const auto& [type, count, bytes] = entry;
        put(out, tag, 2);
        put(out, type, 2);
        put(out, count, 4);
        std::vector<uint8_t> field = bytes;
        if (bytes.size() > 4) {
            field.clear();
            put(field, extra + static_cast<uint32_t>(values.size()), 4);
            values.insert(values.end(), bytes.begin(), bytes.end());
            values.resize((values.size() + 1) & ~size_t(1));
        }
        field.resize(4);
        out.insert(out.end(), field.begin(), field.end());
    }
    put(out, 0, 4);  // no next directory
    out.insert(out.end(), values.begin(), values.end());
}

std::vector<uint8_t> ExifBlock::serialise() const {
    TiffIfd first = dirs[EXIF_IFD_0];
    const TiffIfd &exif = dirs[EXIF_IFD_EXIF], &gps = dirs[EXIF_IFD_GPS];
    if (!exif.tags.empty()) first.add(34665, EXIF_FORMAT_LONG, {0});  // pointers, set below
    if (!gps.tags.empty()) first.add(34853, EXIF_FORMAT_LONG, {0});
    const int64_t exif_at = 8 + first.size(), gps_at = exif_at + (exif.tags.empty() ? 0 : exif.size());
    if (!exif.tags.empty()) first.add(34665, EXIF_FORMAT_LONG, {exif_at});
    if (!gps.tags.empty()) first.add(34853, EXIF_FORMAT_LONG, {gps_at});
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    first.write(out);
    if (!exif.tags.empty()) exif.write(out);
    if (!gps.tags.empty()) gps.write(out);
    out.insert(out.begin(), {'E', 'x', 'i', 'f', 0, 0});
    return out;
}

std::vector<uint8_t> insert_app1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif) {
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((exif.size() + 2) >> 8), uint8_t((exif.size() + 2) & 0xFF)};
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string write_exif_jpeg(const std::string& name, const ExifBlock& block, const cv::Mat& image) {
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", image.empty() ? cv::Mat(32, 48, CV_8UC3, cv::Scalar(180, 120, 60)) : image, jpeg);
    write_bytes(temp_path(name), insert_app1(jpeg, block.serialise()));
    return temp_path(name);
}

}  // namespace testsupport
