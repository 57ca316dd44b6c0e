#pragma once
// Helpers shared by the thumbnail extraction and the perceptual hash: the
// embedded thumbnail of a RAW file through LibRaw, and the reduction of a
// decoded image to a bounded size.
#include <libraw/libraw_types.h>

#include <functional>
#include <opencv2/core.hpp>
#include <string>

namespace vantorix {

// Reads `path` (a regular file only), opens its bytes with LibRaw, unpacks its
// embedded thumbnail, makes it in memory and hands it to `use`, whose result
// is returned. Failures, each with the reason in `reason`: -1 the file cannot
// be read or LibRaw cannot open it, -2 the thumbnail declares more than
// kMaxImagePixels or unpack_thumb fails, -3 no in-memory thumbnail (or, when
// `consult_error` is set, a non-zero error out-value). `reason` is left alone
// otherwise. The thumbnail, the processor's data and the processor are
// released on every path, also when `use` throws. LibRaw prints nothing.
int with_embedded_thumbnail(const std::string& path, bool consult_error,
                            const std::function<int(const libraw_processed_image_t&)>& use, std::string& reason);

// An in-memory bitmap thumbnail as an 8-bit matrix that owns its data: one
// channel (grey) or three (red, green, blue); 16-bit samples are scaled to 8
// bits. Empty when the image is not a bitmap, has another sample count or
// width, or its data is shorter than height x width x samples.
cv::Mat thumb_bitmap_to_8bit(const libraw_processed_image_t& img);

// `image` scaled with area interpolation so that its longer side becomes
// `limit` (factor limit / longer side in single precision, passed to OpenCV as
// a double); unchanged when the longer side is at most `limit`. A side that
// would round to 0 pixels is kept at 1.
cv::Mat reduce_to_longer_side(const cv::Mat& image, int limit);

}  // namespace vantorix
