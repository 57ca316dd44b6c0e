#pragma once
#include <cstdint>
#include <string>

#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace vantorix {

// Result of RAW development and the shooting data LibRaw reported. Filled by
// the RAW development in io; read by the loader and the EXIF summary.
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

}  // namespace vantorix
