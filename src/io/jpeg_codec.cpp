#include "io/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <libexif/exif-data.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace vantorix {
namespace {

// Errors jump back to the caller; warnings are counted, never printed.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void on_error(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

void on_message(j_common_ptr cinfo, int level) {
    if (level < 0) ++cinfo->err->num_warnings;
}

void silent(j_common_ptr) {}

void use_error_manager(ErrorManager& err, j_common_ptr cinfo) {
    cinfo->err = jpeg_std_error(&err.pub);
    err.pub.error_exit = on_error;
    err.pub.emit_message = on_message;
    err.pub.output_message = silent;
}

// The EXIF orientation (1..8) of the APP1 "Exif" segments read with the
// header: 1 when there is none, 0 when it cannot be told for certain (more
// than one such segment, or an orientation entry of another form).
int exif_orientation(const jpeg_decompress_struct& cinfo) {
    int found = 0, orientation = 1;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 || std::memcmp(m->data, "Exif\0\0", 6) != 0) continue;
        if (++found > 1) return 0;
        ExifData* data = exif_data_new();
        if (!data) return 0;
        exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_load_data(data, m->data, m->data_length);
        // Only the main directory's entry counts; one elsewhere alone is left undecided.
        ExifEntry* e = data->ifd[EXIF_IFD_0] ? exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION) : nullptr;
        if (e && e->format == EXIF_FORMAT_SHORT && e->components == 1 && e->size >= 2)
            orientation = exif_get_short(e->data, exif_data_get_byte_order(data));
        else if (e || exif_data_get_entry(data, EXIF_TAG_ORIENTATION))
            orientation = 0;
        exif_data_unref(data);
    }
    return orientation;
}

// Turns the decoded rows upright as the EXIF orientation asks.
cv::Mat upright(cv::Mat img, int orientation) {
    if (orientation >= 5 && orientation <= 8) cv::transpose(img, img);
    switch (orientation) {
        case 2: case 6: cv::flip(img, img, 1); break;
        case 3: case 7: cv::flip(img, img, -1); break;
        case 4: case 8: cv::flip(img, img, 0); break;
        default: break;
    }
    return img;
}

struct Decompress {
    jpeg_decompress_struct cinfo{};
    ~Decompress() { jpeg_destroy_decompress(&cinfo); }
};

struct Compress {
    jpeg_compress_struct cinfo{};
    ~Compress() { jpeg_destroy_compress(&cinfo); }
};

bool jpeg_extension(const std::string& ext) {
    std::string lower(ext);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == ".jpg" || lower == ".jpeg" || lower == ".jpe";
}

}  // namespace

bool jpeg_decode_direct(const uint8_t* data, size_t size, int flags, cv::Mat& out) {
    const bool color = flags == cv::IMREAD_COLOR;
    if (!(color || flags == cv::IMREAD_GRAYSCALE) || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    Decompress d;
    ErrorManager err;
    use_error_manager(err, reinterpret_cast<j_common_ptr>(&d.cinfo));
    cv::Mat img;
    if (setjmp(err.jump)) return false;  // the full decoder decides what a damaged file gives
    jpeg_create_decompress(&d.cinfo);
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xffff);
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK || d.cinfo.num_components == 4) return false;
    const int orientation = exif_orientation(d.cinfo);
    if (orientation == 0) return false;
    d.cinfo.out_color_space = color ? JCS_EXT_BGR : JCS_GRAYSCALE;
    d.cinfo.out_color_components = color ? 3 : 1;
    jpeg_start_decompress(&d.cinfo);
    img.create(static_cast<int>(d.cinfo.output_height), static_cast<int>(d.cinfo.output_width), color ? CV_8UC3 : CV_8UC1);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = img.ptr<uint8_t>(static_cast<int>(d.cinfo.output_scanline));
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    // Any warning (a damaged stream, data cut short) leaves the file to the full decoder.
    if (err.pub.num_warnings != 0) return false;
    out = upright(img, orientation);
    return true;
}

bool is_jpeg_extension(const std::string& ext) { return jpeg_extension(ext); }

bool jpeg_encode_rows(int width, int height, int channels, int quality,
                      const std::function<const uint8_t*(int y)>& row, std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3)) return false;
    Compress c;
    ErrorManager err;
    use_error_manager(err, reinterpret_cast<j_common_ptr>(&c.cinfo));
    struct Destination {
        unsigned char* buffer = nullptr;
        unsigned long length = 0;
        ~Destination() { std::free(buffer); }
    } dest;  // in memory across the jump: the library writes it through its address
    if (setjmp(err.jump)) return false;
    jpeg_create_compress(&c.cinfo);
    jpeg_mem_dest(&c.cinfo, &dest.buffer, &dest.length);
    c.cinfo.image_width = static_cast<JDIMENSION>(width);
    c.cinfo.image_height = static_cast<JDIMENSION>(height);
    c.cinfo.input_components = channels;
    c.cinfo.in_color_space = channels == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, std::min(std::max(quality, 0), 100), TRUE);
    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        JSAMPROW r = const_cast<uint8_t*>(row(static_cast<int>(c.cinfo.next_scanline)));
        jpeg_write_scanlines(&c.cinfo, &r, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    out.assign(dest.buffer, dest.buffer + dest.length);
    return true;
}

bool jpeg_encode_direct(const std::string& ext, const cv::Mat& image, const std::vector<int>& params,
                        std::vector<uint8_t>& out) {
    if (!jpeg_extension(ext) || image.depth() != CV_8U || (image.channels() != 1 && image.channels() != 3) ||
        image.empty() || !(params.empty() || (params.size() == 2 && params[0] == cv::IMWRITE_JPEG_QUALITY)))
        return false;
    return jpeg_encode_rows(image.cols, image.rows, image.channels(), params.empty() ? 95 : params[1],
                            [&](int y) { return image.ptr<uint8_t>(y); }, out);
}

}  // namespace vantorix
