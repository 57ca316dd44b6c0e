// vantorix_extract_thumbnail: a small JPEG for any image file, without a
// context: a RAW file's embedded thumbnail, or a reduced copy of an ordinary
// image.
#include <cstdlib>
#include <cstring>
#include <new>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "engine/context.h"
#include "engine/guard.h"
#include "engine/large_pages.h"
#include "io/codecs.h"
#include "io/file_io.h"
#include "io/thumb_support.h"

namespace vantorix {

namespace {

// Stores `reason` as the calling thread's file error and gives `code`.
int fail(int code, std::string reason) {
    file_error() = std::move(reason);
    return code;
}

// Copies `size` bytes into a block of the C heap (released by
// vantorix_free_thumb). -4 when the allocation fails.
int hand_out(const unsigned char* bytes, size_t size, uint8_t** out_data, uint32_t* out_size) {
    if (size == 0) return fail(-4, msg::kThumbEmpty);
    if (size > UINT32_MAX) return fail(-4, msg::kThumbTooLarge);
    auto* block = static_cast<uint8_t*>(std::malloc(size));
    if (!block) return fail(-4, msg::kOutOfMemory);
    std::memcpy(block, bytes, size);
    *out_data = block;
    *out_size = static_cast<uint32_t>(size);
    return 0;
}

bool encode_jpeg(const cv::Mat& image, int quality, std::vector<uint8_t>& out) {
    return codec_encode(".jpg", image, out, {cv::IMWRITE_JPEG_QUALITY, quality}) && !out.empty();
}

int thumbnail_of_image(const std::string& path, uint8_t** out_data, uint32_t* out_size) {
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR);
    if (bgr.empty()) return fail(-1, msg::kCannotDecode + path);
    bgr = reduce_to_longer_side(bgr, 160);
    std::vector<uint8_t> jpeg;
    if (!encode_jpeg(bgr, 75, jpeg)) return fail(-1, msg::kThumbEncode);
    return hand_out(jpeg.data(), jpeg.size(), out_data, out_size);
}

int thumbnail_of_raw(const std::string& path, uint8_t** out_data, uint32_t* out_size) {
    std::string reason;
    const int r = with_embedded_thumbnail(path, true, [&](const libraw_processed_image_t& img) -> int {
        if (img.type == LIBRAW_IMAGE_JPEG) {
            if (img.data_size == 0) return fail(-3, msg::kThumbEmpty);
            return hand_out(img.data, img.data_size, out_data, out_size);
        }
        const cv::Mat bitmap = thumb_bitmap_to_8bit(img);
        if (bitmap.empty()) return fail(-3, msg::kThumbLayout);
        cv::Mat encodable;
        if (bitmap.channels() == 3)
            cv::cvtColor(bitmap, encodable, cv::COLOR_RGB2BGR);
        else
            encodable = bitmap;  // grey stays a one-channel JPEG
        std::vector<uint8_t> jpeg;
        if (!encode_jpeg(encodable, 80, jpeg)) return fail(-3, msg::kThumbEncode);
        return hand_out(jpeg.data(), jpeg.size(), out_data, out_size);
    }, reason);
    if (!reason.empty()) file_error() = reason;
    return r;
}

}  // namespace

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_extract_thumbnail(const char* path, uint8_t** out_data, uint32_t* out_size) {
    if (!path || !out_data || !out_size) return -1;
    *out_data = nullptr;
    *out_size = 0;
    return vantorix::guarded_file(-1, [&]() -> int {
        vantorix::use_large_pages_for_matrices();
        const std::string p(path);
        try {
            return vantorix::has_image_extension(p) ? vantorix::thumbnail_of_image(p, out_data, out_size)
                                                    : vantorix::thumbnail_of_raw(p, out_data, out_size);
        } catch (const std::bad_alloc&) {
            return vantorix::fail(-4, vantorix::msg::kOutOfMemory);
        }
    });
}

VANTORIX_API void vantorix_free_thumb(uint8_t* data) { std::free(data); }

}  // extern "C"
