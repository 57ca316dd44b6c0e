#include "test_exif_jpeg.h"

#include <libexif/exif-utils.h>

#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <stdexcept>

#include "support/test_support.h"

namespace exiftest {

Block& Block::ascii(ExifIfd ifd, int tag, const std::string& text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    const unsigned long n = b.size();
    return raw(ifd, tag, EXIF_FORMAT_ASCII, n, std::move(b));
}

Block& Block::rational(ExifIfd ifd, int tag, std::vector<std::pair<uint32_t, uint32_t>> values) {
    std::vector<uint8_t> b(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i)
        exif_set_rational(b.data() + 8 * i, order, ExifRational{values[i].first, values[i].second});
    return raw(ifd, tag, EXIF_FORMAT_RATIONAL, values.size(), std::move(b));
}

Block& Block::srational(ExifIfd ifd, int tag, std::vector<std::pair<int32_t, int32_t>> values) {
    std::vector<uint8_t> b(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i)
        exif_set_srational(b.data() + 8 * i, order, ExifSRational{values[i].first, values[i].second});
    return raw(ifd, tag, EXIF_FORMAT_SRATIONAL, values.size(), std::move(b));
}

Block& Block::shorts(ExifIfd ifd, int tag, std::vector<uint16_t> values) {
    std::vector<uint8_t> b(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i) exif_set_short(b.data() + 2 * i, order, values[i]);
    return raw(ifd, tag, EXIF_FORMAT_SHORT, values.size(), std::move(b));
}

Block& Block::longs(ExifIfd ifd, int tag, std::vector<uint32_t> values) {
    std::vector<uint8_t> b(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i) exif_set_long(b.data() + 4 * i, order, values[i]);
    return raw(ifd, tag, EXIF_FORMAT_LONG, values.size(), std::move(b));
}

Block& Block::raw(ExifIfd ifd, int tag, ExifFormat format, unsigned long components, std::vector<uint8_t> bytes) {
    tags.push_back(Tag{ifd, tag, format, components, std::move(bytes)});
    return *this;
}

std::vector<uint8_t> Block::serialise() const {
    ExifData* data = exif_data_new();
    if (!data) throw std::runtime_error("exif_data_new");
    // Keep the entries exactly as given: no repairs, no added entries.
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, order);
    ExifMem* mem = exif_mem_new_default();
    for (const Tag& t : tags) {
        ExifEntry* e = exif_entry_new_mem(mem);
        e->tag = static_cast<ExifTag>(t.tag);
        e->format = t.format;
        e->components = t.components;
        e->size = static_cast<unsigned int>(t.bytes.size());
        e->data = static_cast<unsigned char*>(exif_mem_alloc(mem, t.bytes.empty() ? 1 : t.bytes.size()));
        if (!t.bytes.empty()) std::memcpy(e->data, t.bytes.data(), t.bytes.size());
        exif_content_add_entry(data->ifd[t.ifd], e);
        exif_entry_unref(e);
    }
    exif_mem_unref(mem);
    unsigned char* buf = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &buf, &size);
    exif_data_unref(data);
    if (!buf) throw std::runtime_error("exif_data_save_data");
    std::vector<uint8_t> out(buf, buf + size);
    std::free(buf);
    return out;
}

std::vector<uint8_t> insert_app1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif) {
    const size_t length = exif.size() + 2;
    if (length > 0xFFFF || jpeg.size() < 2) throw std::runtime_error("APP1 segment");
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.push_back(0xFF);
    out.push_back(0xE1);
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length & 0xFF));
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string write_jpeg(const std::string& name, const Block& block, const cv::Mat& image) {
    cv::Mat img = image;
    if (img.empty()) img = cv::Mat(32, 48, CV_8UC3, cv::Scalar(180, 120, 60));
    std::vector<uint8_t> jpeg;
    if (!cv::imencode(".jpg", img, jpeg)) throw std::runtime_error("imencode");
    const std::string path = testsupport::temp_path(name);
    if (!testsupport::write_bytes(path, insert_app1(jpeg, block.serialise()))) throw std::runtime_error("write");
    return path;
}

}  // namespace exiftest
