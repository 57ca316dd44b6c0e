#include <libraw/libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "engine/messages.h"
#include "io/file_io.h"
#include "engine/threads.h"
#include "io/libraw_quiet.h"
#include "io/raw_develop.h"
#include "vantorix.h"

namespace vantorix {

static_assert(kMaxRawPixelsPerByte == VANTORIX_MAX_RAW_PIXELS_PER_BYTE, "one RAW size rule");

namespace {

std::string libraw_message(const char* prefix, int code) { return std::string(prefix) + libraw_strerror(code); }

void copy_bounded(char (&dst)[64], const char* src) {
    std::memset(dst, 0, sizeof dst);
    if (src) std::memcpy(dst, src, strnlen(src, sizeof dst - 1));
}

// LibRaw's interleaved bitmap as a CV_16UC3 matrix (red, green, blue): a view
// of its memory when it is 16-bit RGB already, else a converted copy. Empty
// for a layout it does not understand.
cv::Mat bitmap_as_rgb16(const libraw_processed_image_t* img) {
    if (!img || img->type != LIBRAW_IMAGE_BITMAP || img->width == 0 || img->height == 0) return cv::Mat();
    const int w = img->width, h = img->height, colors = img->colors, bits = img->bits;
    if ((colors != 1 && colors != 3) || (bits != 8 && bits != 16)) return cv::Mat();
    const size_t needed = static_cast<size_t>(w) * h * colors * (bits / 8);
    if (img->data_size < needed) return cv::Mat();
    const int depth = bits == 16 ? CV_16U : CV_8U;
    cv::Mat wrapped(h, w, CV_MAKETYPE(depth, colors), const_cast<unsigned char*>(img->data));
    if (bits == 16 && colors == 3) return wrapped;
    cv::Mat wide;
    if (bits == 8)
        wrapped.convertTo(wide, CV_16U, 257.0);
    else
        wide = wrapped;
    if (colors == 1) cv::cvtColor(wide, wide, cv::COLOR_GRAY2RGB);
    return wide;
}

// Refuses a declared size the file cannot hold, sets the development
// parameters and develops the opened file up to LibRaw's internal image. False
// with the message in `error`.
bool develop_opened(LibRaw& proc, uint64_t file_size, const std::string& path, int size_level, std::string& error) {
    const std::string why = raw_size_refusal(proc.imgdata.sizes.raw_width, proc.imgdata.sizes.raw_height, file_size);
    if (!why.empty()) {
        error = "RAW file '" + path + "' " + why;
        proc.recycle();
        return false;
    }
    auto& params = proc.imgdata.params;
    params.use_camera_wb = 1;
    params.half_size = size_level >= 2 ? 1 : 0;
    params.output_color = 1;
    params.output_bps = 16;
    params.user_qual = 3;
    params.no_auto_bright = 1;
    params.gamm[0] = 1.0 / 2.4;
    params.gamm[1] = 12.92;

    int r = proc.unpack();
    if (r != LIBRAW_SUCCESS) {
        error = libraw_message(msg::kRawUnpack, r);
        proc.recycle();
        return false;
    }
    r = proc.dcraw_process();
    if (r != LIBRAW_SUCCESS) {
        error = libraw_message(msg::kRawProcess, r);
        proc.recycle();
        return false;
    }
    return true;
}

// Size level 4 halves the half-size development once more; then the longer
// side is limited to 2000 pixels.
cv::Mat reduce_raw_size(cv::Mat rgb, int size_level) {
    if (size_level == 4 && (rgb.cols >= 2 || rgb.rows >= 2)) {
        cv::Mat half;
        cv::resize(rgb, half, cv::Size(std::max(rgb.cols / 2, 1), std::max(rgb.rows / 2, 1)), 0, 0, cv::INTER_AREA);
        rgb = half;
    }
    const int longer = std::max(rgb.cols, rgb.rows);
    if (longer > 2000) rgb = resize_by_factor(rgb, 2000.0f / static_cast<float>(longer));
    return rgb;
}

// The developed picture reduced for the size level, and the shooting data; the
// picture is read from LibRaw's bitmap in place (one copy: the reduction or
// the widening to RGBA). The processor is recycled on every path. Empty
// (message in `error`) on failure.
ImageBuffer take_developed_image(LibRaw& proc, ShootingData& shot, int size_level, std::string& error) {
    int err = 0;
    libraw_processed_image_t* mem = proc.dcraw_make_mem_image(&err);
    if (!mem || err != 0) {
        if (mem) LibRaw::dcraw_clear_mem(mem);
        error = libraw_message(msg::kRawMemImage, err != 0 ? err : LIBRAW_UNSPECIFIED_ERROR);
        proc.recycle();
        return ImageBuffer();
    }
    ImageBuffer rgba;
    try {
        cv::Mat rgb = bitmap_as_rgb16(mem);
        if (!rgb.empty()) rgba = ImageBuffer(reduce_raw_size(std::move(rgb), size_level));
    } catch (...) {
        LibRaw::dcraw_clear_mem(mem);
        proc.recycle();
        throw;
    }
    if (rgba.empty()) {
        LibRaw::dcraw_clear_mem(mem);
        error = libraw_message(msg::kRawMemImage, LIBRAW_UNSPECIFIED_ERROR);
        proc.recycle();
        return ImageBuffer();
    }
    const auto& other = proc.imgdata.other;
    shot.iso = other.iso_speed;
    shot.exposure_time = other.shutter;
    shot.aperture = other.aperture;
    shot.focal_length = other.focal_len;
    shot.orientation = proc.imgdata.sizes.flip;
    copy_bounded(shot.make, proc.imgdata.idata.make);
    copy_bounded(shot.model, proc.imgdata.idata.model);
    LibRaw::dcraw_clear_mem(mem);
    proc.recycle();
    return rgba;
}

// LibRaw's progress handler: its steps are single bits in the order LibRaw
// runs them (bit 0 opening .. bit 19 the last output step); each maps to an
// equal share of 0..0.9, subdivided by the step's own iteration count.
int libraw_progress(void* data, enum LibRaw_progress step, int iteration, int expected) {
    auto* progress = static_cast<Progress*>(data);
    const unsigned bits = static_cast<unsigned>(step) & LIBRAW_PROGRESS_THUMB_MASK;
    int index = 0;
    while (index < 20 && (bits >> (index + 1)) != 0) ++index;
    float within = 0.0f;
    if (expected > 0 && iteration >= 0) within = std::min(static_cast<float>(iteration) / expected, 1.0f);
    const float fraction = (static_cast<float>(index) + within) / 20.0f * 0.9f;
    return progress->report(VANTORIX_STAGE_RAW_DEVELOP, fraction) ? 1 : 0;
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

bool develop_raw(RawImage& raw, const std::string& path, int size_level, Progress* progress) {
    raw.path = path;
    raw.error.clear();

    std::string note;  // LibRaw's data-error reports, kept off stderr
    auto proc = std::make_unique<LibRaw>(0);
    keep_libraw_quiet(*proc, note);
    limit_libraw_threads();
    // A host that cancels while LibRaw decodes stops it at its next check.
    struct CancelHook {
        Progress* progress;
        ~CancelHook() {
            if (progress) progress->on_cancel(nullptr);
        }
    } hook{progress};
    if (progress) {
        if (progress->report(VANTORIX_STAGE_RAW_DEVELOP, 0.0f)) return false;
        proc->set_progress_handler(libraw_progress, progress);
        progress->on_cancel([raw_processor = proc.get()] { raw_processor->setCancelFlag(); });
    }
    std::vector<uint8_t> bytes;  // read only where /proc is absent
    uint64_t file_size = 0;
    std::string why;
    const int r = open_raw_file(*proc, path, bytes, file_size, why);
    if (r != LIBRAW_SUCCESS) {
        if (why.find("not a regular file") != std::string::npos)
            raw.error = why;
        else
            raw.error = libraw_message(msg::kRawOpen, r == -1 ? LIBRAW_IO_ERROR : r) + (why.empty() ? "" : " (" + why + ")");
        return false;
    }
    if (!develop_opened(*proc, file_size, path, size_level, raw.error)) return false;
    ShootingData shot{};
    ImageBuffer developed = take_developed_image(*proc, shot, size_level, raw.error);
    if (developed.empty()) return false;
    if (progress && progress->report(VANTORIX_STAGE_RAW_DEVELOP, 0.9f)) return false;

    raw.image = std::move(developed);
    static_cast<ShootingData&>(raw) = shot;
    raw.width = raw.image.cols();
    raw.height = raw.image.rows();
    return true;
}

}  // namespace vantorix
