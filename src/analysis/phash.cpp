// vantorix_phash: a 64-bit DCT hash of an image file for near-duplicate search.
// Hosts store these hashes, so every step below is fixed: changing any of
// them changes stored hashes.
#include <algorithm>
#include <cstdint>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "analysis/phash_core.h"
#include "engine/large_pages.h"
#include "engine/context.h"
#include "engine/guard.h"
#include "io/codecs.h"
#include "io/file_io.h"
#include "io/thumb_support.h"

namespace vantorix {

float phash_median(std::vector<float> values) {
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
    return values[mid];
}

int phash_grey_from_thumbnail(const libraw_processed_image_t& img, cv::Mat& grey) {
    grey.release();
    if (img.type == LIBRAW_IMAGE_JPEG) {
        // An undecodable thumbnail leaves `grey` empty.
        // It goes through the same size check as any image file.
        grey = decode_image(img.data, img.data_size, cv::IMREAD_GRAYSCALE);
        return 0;
    }
    const cv::Mat bitmap = thumb_bitmap_to_8bit(img);
    if (bitmap.empty()) return -3;
    if (bitmap.channels() == 3)
        cv::cvtColor(bitmap, grey, cv::COLOR_RGB2GRAY);
    else
        grey = bitmap;
    return 0;
}

uint64_t phash_of_grey(const cv::Mat& grey) {
    cv::Mat small, flt, freq;
    cv::resize(grey, small, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
    small.convertTo(flt, CV_32F, 1.0, 0.0);
    cv::dct(flt, freq, 0);

    // The 63 low frequencies other than the DC coefficient, row by row.
    std::vector<float> ac;
    ac.reserve(63);
    for (int u = 0; u < 8; ++u) {
        const float* row = freq.ptr<float>(u);
        for (int v = 0; v < 8; ++v)
            if (u != 0 || v != 0) ac.push_back(row[v]);
    }
    const float median = phash_median(ac);

    // Coefficient (u, v) sets bit 63 - (8u + v); the DC coefficient takes part.
    uint64_t hash = 0;
    for (int u = 0; u < 8; ++u) {
        const float* row = freq.ptr<float>(u);
        for (int v = 0; v < 8; ++v) hash = (hash << 1) | (row[v] > median ? 1u : 0u);
    }
    return hash;
}

namespace {
int fail_file(int code, std::string reason) {
    file_error() = std::move(reason);
    return code;
}
}  // namespace

int phash_file(const std::string& path, uint64_t& hash) {
    cv::Mat grey;
    if (has_image_extension(path)) {
        grey = read_image_file(path, cv::IMREAD_GRAYSCALE);
        if (grey.empty()) return fail_file(-1, msg::kCannotDecode + path);
        grey = reduce_to_longer_side(grey, 256);
    } else {
        std::string reason;
        const int r = with_embedded_thumbnail(path, false, [&](const libraw_processed_image_t& img) -> int {
            return phash_grey_from_thumbnail(img, grey);
        }, reason);
        if (r == -3 && reason.empty()) reason = msg::kThumbLayout;
        if (r != 0) return fail_file(r, reason);
        if (grey.empty()) return fail_file(-4, msg::kThumbUndecodable);
    }
    hash = phash_of_grey(grey);
    return 0;
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_phash(const char* path, uint64_t* out_hash) {
    if (!path || !out_hash) return -1;
    *out_hash = 0;
    return vantorix::guarded_file(-1, [&]() -> int {
        vantorix::use_large_pages_for_matrices();
        uint64_t hash = 0;
        const int r = vantorix::phash_file(path, hash);
        if (r == 0) *out_hash = hash;
        return r;
    });
}

}  // extern "C"
