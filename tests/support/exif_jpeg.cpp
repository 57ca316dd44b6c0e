#include "support/exif_jpeg.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>

namespace testsupport {

namespace {

ExifEntry* add_entry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned long components) {
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = format;
    e->components = components;
    e->size = exif_format_get_size(format) * components;
    e->data = static_cast<unsigned char*>(calloc(1, e->size ? e->size : 1));
    exif_content_add_entry(data->ifd[ifd], e);
    exif_entry_unref(e);
    return e;
}

void add_ascii(ExifData* data, ExifIfd ifd, ExifTag tag, const std::string& text) {
    ExifEntry* e = add_entry(data, ifd, tag, EXIF_FORMAT_ASCII, text.size() + 1);
    std::memcpy(e->data, text.c_str(), text.size() + 1);
}

ExifData* load(const std::string& path) {
    ExifLoader* l = exif_loader_new();
    exif_loader_write_file(l, path.c_str());
    ExifData* d = exif_loader_get_data(l);
    exif_loader_unref(l);
    return d;
}

}  // namespace

std::vector<uint8_t> build_exif_block(const ExifTags& tags) {
    ExifData* data = exif_data_new();
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    exif_data_set_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    if (!tags.make.empty()) add_ascii(data, EXIF_IFD_0, EXIF_TAG_MAKE, tags.make);
    if (!tags.model.empty()) add_ascii(data, EXIF_IFD_0, EXIF_TAG_MODEL, tags.model);
    if (tags.orientation) {
        ExifEntry* e = add_entry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1);
        exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(tags.orientation));
    }
    if (tags.user_comment_bytes) {
        ExifEntry* e = add_entry(data, EXIF_IFD_EXIF, EXIF_TAG_USER_COMMENT, EXIF_FORMAT_UNDEFINED, tags.user_comment_bytes);
        std::memset(e->data, 'x', tags.user_comment_bytes);
    }
    unsigned char* buf = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &buf, &size);
    exif_data_unref(data);
    std::vector<uint8_t> out(buf, buf + size);
    free(buf);
    return out;
}

std::vector<uint8_t> jpeg_with_exif(const cv::Mat& bgr, const std::vector<uint8_t>& block) {
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", bgr, jpeg, {cv::IMWRITE_JPEG_QUALITY, 95});
    std::vector<uint8_t> out;
    out.reserve(jpeg.size() + block.size() + 6);
    for (uint8_t b : {uint8_t(0xFF), uint8_t(0xD8), uint8_t(0xFF), uint8_t(0xE1), uint8_t((block.size() + 2) >> 8),
                      uint8_t((block.size() + 2) & 0xFF)})
        out.push_back(b);
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string exif_make_of(const std::string& path) {
    ExifData* d = load(path);
    if (!d) return "";
    std::string make;
    if (ExifEntry* e = exif_content_get_entry(d->ifd[EXIF_IFD_0], EXIF_TAG_MAKE)) {
        char buf[128];
        exif_entry_get_value(e, buf, sizeof buf);
        make = buf;
    }
    exif_data_unref(d);
    return make;
}

int exif_orientation_of(const std::string& path) {
    ExifData* d = load(path);
    if (!d) return 0;
    int o = 0;
    if (ExifEntry* e = exif_content_get_entry(d->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION))
        o = exif_get_short(e->data, exif_data_get_byte_order(d));
    exif_data_unref(d);
    return o;
}

}  // namespace testsupport
