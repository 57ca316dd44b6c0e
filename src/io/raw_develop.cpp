#include <libraw/libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "io/file_io.h"
#include "io/raw_image.h"

#include "vantorix.h"

namespace vantorix {

static_assert(kMaxRawPixelsPerByte == VANTORIX_MAX_RAW_PIXELS_PER_BYTE, "one RAW size rule");

namespace {

std::string libraw_message(const char* prefix, int code) { return std::string(prefix) + libraw_strerror(code); }

void copy_bounded(char (&dst)[64], const char* src) {
    std::memset(dst, 0, sizeof dst);
    if (src) std::memcpy(dst, src, strnlen(src, sizeof dst - 1));
}

// Turns LibRaw's interleaved bitmap into a CV_16UC3 matrix (red, green, blue).
// Returns an empty matrix for a layout it does not understand.
cv::Mat bitmap_to_rgb16(const libraw_processed_image_t* img) {
    if (!img || img->type != LIBRAW_IMAGE_BITMAP || img->width == 0 || img->height == 0) return cv::Mat();
    const int w = img->width, h = img->height, colors = img->colors, bits = img->bits;
    if ((colors != 1 && colors != 3) || (bits != 8 && bits != 16)) return cv::Mat();
    const size_t needed = static_cast<size_t>(w) * h * colors * (bits / 8);
    if (img->data_size < needed) return cv::Mat();
    const int depth = bits == 16 ? CV_16U : CV_8U;
    cv::Mat wrapped(h, w, CV_MAKETYPE(depth, colors), const_cast<unsigned char*>(img->data));
    cv::Mat wide;
    if (bits == 8)
        wrapped.convertTo(wide, CV_16U, 257.0);
    else
        wide = wrapped.clone();
    if (colors == 1) cv::cvtColor(wide, wide, cv::COLOR_GRAY2RGB);
    return wide;
}

}  // namespace

std::string raw_size_refusal(uint64_t raw_width, uint64_t raw_height, uint64_t file_bytes) {
    const uint64_t pixels = raw_width * raw_height;  // each side below 2^16 in LibRaw's fields
    const std::string size = "declares " + std::to_string(raw_width) + " x " + std::to_string(raw_height) + " pixels";
    if (pixels > kMaxImagePixels)
        return size + ", more than the limit of " + std::to_string(kMaxImagePixels) + " pixels";
    if (pixels > kMaxRawPixelsPerByte * file_bytes)
        return size + ", more than " + std::to_string(kMaxRawPixelsPerByte) + " per byte of its " +
               std::to_string(file_bytes) + "-byte file";
    return std::string();
}

bool develop_raw(RawImage& raw, const std::string& path, int size_level) {
    raw.path = path;
    raw.error.clear();

    // LibRaw gets the bytes of the regular file checked here, never the path.
    std::vector<uint8_t> bytes;
    std::string why;
    if (!read_file_bytes(path, bytes, &why)) {
        raw.error = why.find("not a regular file") != std::string::npos
                        ? why
                        : libraw_message("LibRaw open_file failed: ", LIBRAW_IO_ERROR) + " (" + why + ")";
        return false;
    }
    auto proc = std::make_unique<LibRaw>(0);
    int r = bytes.empty() ? LIBRAW_IO_ERROR : proc->open_buffer(bytes.data(), bytes.size());
    if (r != LIBRAW_SUCCESS) {
        raw.error = libraw_message("LibRaw open_file failed: ", r);
        return false;
    }
    why = raw_size_refusal(proc->imgdata.sizes.raw_width, proc->imgdata.sizes.raw_height, bytes.size());
    if (!why.empty()) {
        raw.error = "RAW file '" + path + "' " + why;
        proc->recycle();
        return false;
    }
    auto& params = proc->imgdata.params;
    params.use_camera_wb = 1;
    params.half_size = size_level >= 2 ? 1 : 0;
    params.output_color = 1;
    params.output_bps = 16;
    params.user_qual = 3;
    params.no_auto_bright = 1;
    params.gamm[0] = 1.0 / 2.4;
    params.gamm[1] = 12.92;

    r = proc->unpack();
    if (r != LIBRAW_SUCCESS) {
        raw.error = libraw_message("LibRaw unpack failed: ", r);
        proc->recycle();
        return false;
    }
    r = proc->dcraw_process();
    if (r != LIBRAW_SUCCESS) {
        raw.error = libraw_message("LibRaw dcraw_process failed: ", r);
        proc->recycle();
        return false;
    }
    int err = 0;
    libraw_processed_image_t* mem = proc->dcraw_make_mem_image(&err);
    if (!mem || err != 0) {
        if (mem) LibRaw::dcraw_clear_mem(mem);
        raw.error = libraw_message("LibRaw dcraw_make_mem_image failed: ", err != 0 ? err : LIBRAW_UNSPECIFIED_ERROR);
        proc->recycle();
        return false;
    }
    cv::Mat rgb;
    try {
        rgb = bitmap_to_rgb16(mem);
    } catch (...) {
        LibRaw::dcraw_clear_mem(mem);
        proc->recycle();
        throw;
    }
    if (rgb.empty()) {
        LibRaw::dcraw_clear_mem(mem);
        raw.error = libraw_message("LibRaw dcraw_make_mem_image failed: ", LIBRAW_UNSPECIFIED_ERROR);
        proc->recycle();
        return false;
    }
    const auto& other = proc->imgdata.other;
    const float iso = other.iso_speed, shutter = other.shutter, aperture = other.aperture,
                focal = other.focal_len;
    const int flip = proc->imgdata.sizes.flip;
    char make[64], model[64];
    copy_bounded(make, proc->imgdata.idata.make);
    copy_bounded(model, proc->imgdata.idata.model);
    LibRaw::dcraw_clear_mem(mem);
    proc->recycle();

    if (size_level == 4 && (rgb.cols >= 2 || rgb.rows >= 2)) {
        cv::Mat half;
        cv::resize(rgb, half, cv::Size(std::max(rgb.cols / 2, 1), std::max(rgb.rows / 2, 1)), 0, 0, cv::INTER_AREA);
        rgb = half;
    }
    const int longer = std::max(rgb.cols, rgb.rows);
    if (longer > 2000) rgb = resize_by_factor(rgb, 2000.0f / static_cast<float>(longer));

    raw.image = ImageBuffer(rgb);
    raw.width = raw.image.cols();
    raw.height = raw.image.rows();
    raw.iso = iso;
    raw.exposure_time = shutter;
    raw.aperture = aperture;
    raw.focal_length = focal;
    std::memcpy(raw.make, make, sizeof make);
    std::memcpy(raw.model, model, sizeof model);
    raw.orientation = flip;
    return true;
}

}  // namespace vantorix
