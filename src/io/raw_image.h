#pragma once
#include <string>

#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace vantorix {

// Result of RAW development and the shooting data LibRaw reported.
struct RawImage {
    ImageBuffer image;
    int width = 0;
    int height = 0;
    float iso = 0.0f;
    float exposure_time = 0.0f;
    float aperture = 0.0f;
    float focal_length = 0.0f;
    char make[64] = {};
    char model[64] = {};
    int orientation = 0;
    std::string path;
    std::string error;
};

// Develops a camera RAW file with LibRaw (size_level 1..4). On failure only
// raw.path and raw.error change. With `progress`, LibRaw's steps are reported
// as VANTORIX_STAGE_RAW_DEVELOP fractions up to 0.9; when the host cancels,
// the result is false (check progress->cancelled()).
bool develop_raw(RawImage& raw, const std::string& path, int size_level, Progress* progress = nullptr);

}  // namespace vantorix
