#pragma once
#include <cstdint>
#include <string>

#include "engine/progress.h"
#include "engine/raw_image.h"

namespace vantorix {

// A RAW file may declare at most this many sensor pixels per byte of its
// size: even the strongest compression of real sensor data (lossy RADC at
// about 12 pixels per byte) stays far below it, while a few kilobytes that
// declare a full frame are refused before LibRaw allocates it.
constexpr uint64_t kMaxRawPixelsPerByte = 64;

// Why LibRaw's declared raw_width x raw_height is refused for a file of
// `file_bytes` bytes: more than kMaxImagePixels, or more than
// kMaxRawPixelsPerByte per byte. Empty when it is accepted.
std::string raw_size_refusal(uint64_t raw_width, uint64_t raw_height, uint64_t file_bytes);

// Develops a camera RAW file with LibRaw (size_level 1..4). On failure only
// raw.path and raw.error change. LibRaw's own diagnostics never reach stderr.
// With `progress`, LibRaw's steps are reported as VANTORIX_STAGE_RAW_DEVELOP
// fractions up to 0.9; when the host cancels, the result is false (check
// progress->cancelled()).
bool develop_raw(RawImage& raw, const std::string& path, int size_level, Progress* progress = nullptr);

}  // namespace vantorix
