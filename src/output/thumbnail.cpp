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
#include "io/codecs.h"
#include "io/file_io.h"
#include "output/thumb_support.h"

namespace vantorix {

namespace {

// Copies `size` bytes into a block of the C heap (released by
// vantorix_free_thumb). -4 when the allocation fails.
int hand_out(const unsigned char* bytes, size_t size, uint8_t** out_data, uint32_t* out_size) {
    if (size == 0 || size > UINT32_MAX) return -4;
    auto* block = static_cast<uint8_t*>(std::malloc(size));
    if (!block) return -4;
    std::memcpy(block, bytes, size);
    *out_data = block;
    *out_size = static_cast<uint32_t>(size);
    return 0;
}

bool encode_jpeg(const cv::Mat& image, int quality, std::vector<uint8_t>& out) {
    return encode_image_bytes(".jpg", image, out, {cv::IMWRITE_JPEG_QUALITY, quality}) && !out.empty();
}

int thumbnail_of_image(const std::string& path, uint8_t** out_data, uint32_t* out_size) {
    cv::Mat bgr = read_image_file(path, cv::IMREAD_COLOR);
    if (bgr.empty()) return -1;
    bgr = reduce_to_longer_side(bgr, 160);
    std::vector<uint8_t> jpeg;
    if (!encode_jpeg(bgr, 75, jpeg)) return -1;
    return hand_out(jpeg.data(), jpeg.size(), out_data, out_size);
}

int thumbnail_of_raw(const std::string& path, uint8_t** out_data, uint32_t* out_size) {
    return with_embedded_thumbnail(path, true, [&](const libraw_processed_image_t& img) -> int {
        if (img.type == LIBRAW_IMAGE_JPEG) {
            if (img.data_size == 0) return -3;
            return hand_out(img.data, img.data_size, out_data, out_size);
        }
        const cv::Mat bitmap = thumb_bitmap_to_8bit(img);
        if (bitmap.empty()) return -3;
        cv::Mat encodable;
        if (bitmap.channels() == 3)
            cv::cvtColor(bitmap, encodable, cv::COLOR_RGB2BGR);
        else
            encodable = bitmap;  // grey stays a one-channel JPEG
        std::vector<uint8_t> jpeg;
        if (!encode_jpeg(encodable, 80, jpeg)) return -3;
        return hand_out(jpeg.data(), jpeg.size(), out_data, out_size);
    });
}

}  // namespace

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_extract_thumbnail(const char* path, uint8_t** out_data, uint32_t* out_size) {
    if (!path || !out_data || !out_size) return -1;
    *out_data = nullptr;
    *out_size = 0;
    return vantorix::guarded(nullptr, -1, [&]() -> int {
        const std::string p(path);
        try {
            return vantorix::has_image_extension(p) ? vantorix::thumbnail_of_image(p, out_data, out_size)
                                                    : vantorix::thumbnail_of_raw(p, out_data, out_size);
        } catch (const std::bad_alloc&) {
            return -4;
        }
    });
}

VANTORIX_API void vantorix_free_thumb(uint8_t* data) { std::free(data); }

}  // extern "C"
