#pragma once
#include <string>

#include "engine/progress.h"
#include "engine/raw_image.h"

namespace vantorix {

// Develops a camera RAW file with LibRaw (size_level 1..4). On failure only
// raw.path and raw.error change. LibRaw's own diagnostics never reach stderr.
// With `progress`, LibRaw's steps are reported as VANTORIX_STAGE_RAW_DEVELOP
// fractions up to 0.9; when the host cancels, the result is false (check
// progress->cancelled()).
bool develop_raw(RawImage& raw, const std::string& path, int size_level, Progress* progress = nullptr);

}  // namespace vantorix
