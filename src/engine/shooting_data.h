#pragma once
// The shooting data a RAW file reports and the size its development has: what
// the EXIF summary falls back to when a file carries no EXIF block. Plain
// data, so that metadata-only code can use it without the image types.

namespace vantorix {

struct ShootingData {
    int width = 0;
    int height = 0;
    float iso = 0.0f;
    float exposure_time = 0.0f;
    float aperture = 0.0f;
    float focal_length = 0.0f;
    char make[64] = {};
    char model[64] = {};
    int orientation = 0;
};

}  // namespace vantorix
