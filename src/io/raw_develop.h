#pragma once
#include <string>

#include "engine/raw_image.h"

namespace vantorix {

// Develops a camera RAW file with LibRaw (size_level 1..4). On failure only
// raw.path and raw.error change. LibRaw's own diagnostics never reach stderr.
bool develop_raw(RawImage& raw, const std::string& path, int size_level);

}  // namespace vantorix
