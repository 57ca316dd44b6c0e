#include "io/thumb_support.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "io/file_io.h"

#include "engine/image_buffer.h"
#include "engine/messages.h"
#include "io/libraw_quiet.h"

namespace vantorix {

namespace {

// Releases the thumbnail, then the processor's data; the processor itself is
// destroyed by its owner afterwards.
struct ThumbRelease {
    LibRaw* proc;
    libraw_processed_image_t* img;
    ~ThumbRelease() {
        if (img) LibRaw::dcraw_clear_mem(img);
        proc->recycle();
    }
};

// LibRaw's text for `code`, with the first data-error note when there is one.
std::string libraw_reason(const char* prefix, int code, const std::string& note) {
    std::string text = std::string(prefix) + libraw_strerror(code);
    if (!note.empty()) text += " (" + note + ")";
    return text;
}

}  // namespace

int with_embedded_thumbnail(const std::string& path, bool consult_error,
                            const std::function<int(const libraw_processed_image_t&)>& use, std::string& reason) {
    // LibRaw reads the bytes of the regular file checked here, never the path.
    std::vector<uint8_t> bytes;
    std::string why;
    if (!read_file_bytes(path, bytes, &why) || bytes.empty()) {
        reason = why.empty() ? std::string(msg::kThumbOpen) + libraw_strerror(LIBRAW_IO_ERROR) : why;
        return -1;
    }
    std::string note;  // outlives the processor that writes it
    auto proc = std::make_unique<LibRaw>(0);
    keep_libraw_quiet(*proc, note);
    int r = proc->open_buffer(bytes.data(), bytes.size());
    if (r != LIBRAW_SUCCESS) {
        reason = libraw_reason(msg::kThumbOpen, r, note);
        return -1;
    }
    // A thumbnail declaring more pixels than any image may have is not unpacked.
    const auto& t = proc->imgdata.thumbnail;
    if (uint64_t(t.twidth) * t.theight > kMaxImagePixels) {
        proc->recycle();
        reason = "the embedded thumbnail declares " + std::to_string(t.twidth) + " x " + std::to_string(t.theight) +
                 " pixels, more than the limit of " + std::to_string(kMaxImagePixels);
        return -2;
    }
    r = proc->unpack_thumb();
    if (r != LIBRAW_SUCCESS) {
        proc->recycle();
        reason = libraw_reason(msg::kThumbUnpack, r, note);
        return -2;
    }
    int err = 0;
    libraw_processed_image_t* img = proc->dcraw_make_mem_thumb(&err);
    ThumbRelease release{proc.get(), img};
    if (!img || (consult_error && err != 0)) {
        reason = libraw_reason(msg::kThumbMake, err != 0 ? err : LIBRAW_UNSPECIFIED_ERROR, note);
        return -3;
    }
    return use(*img);
}

cv::Mat thumb_bitmap_to_8bit(const libraw_processed_image_t& img) {
    if (img.type != LIBRAW_IMAGE_BITMAP || img.width == 0 || img.height == 0) return cv::Mat();
    const int colors = img.colors, bits = img.bits;
    if ((colors != 1 && colors != 3) || (bits != 8 && bits != 16)) return cv::Mat();
    const size_t needed = static_cast<size_t>(img.width) * img.height * static_cast<size_t>(colors) *
                          static_cast<size_t>(bits / 8);
    if (static_cast<size_t>(img.data_size) < needed) return cv::Mat();
    const cv::Mat wrapped(img.height, img.width, CV_MAKETYPE(bits == 16 ? CV_16U : CV_8U, colors),
                          const_cast<unsigned char*>(img.data));
    cv::Mat out;
    if (bits == 16)
        wrapped.convertTo(out, CV_8U, 1.0 / 257.0);
    else
        out = wrapped.clone();
    return out;
}

cv::Mat reduce_to_longer_side(const cv::Mat& image, int limit) {
    const int longer = std::max(image.cols, image.rows);
    if (longer <= limit) return image;
    return resize_by_factor(image, static_cast<float>(limit) / static_cast<float>(longer));
}

}  // namespace vantorix
