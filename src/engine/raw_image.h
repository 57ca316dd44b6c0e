#pragma once
#include <cstdint>
#include <string>

#include "engine/image_buffer.h"
#include "engine/progress.h"
#include "engine/shooting_data.h"

namespace vantorix {

// Result of RAW development and the shooting data LibRaw reported. Filled by
// the RAW development in io; read by the loader and the EXIF summary.
struct RawImage : ShootingData {
    ImageBuffer image;
    std::string path;
    std::string error;
};

}  // namespace vantorix
