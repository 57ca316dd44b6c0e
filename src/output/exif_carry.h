#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct _ExifLoader;

namespace vantorix {

// Hands the file at `path` to a libexif loader in 1024-byte chunks until the
// loader has what it needs, as exif_loader_write_file does, but only for a
// regular file opened without blocking (a FIFO or device gives the loader
// nothing).
void feed_exif_loader(_ExifLoader* loader, const std::string& path);

// Puts the EXIF block of `source_path` into the encoded JPEG `jpeg` as an APP1
// segment right behind the start-of-image marker, dropping the encoder's
// leading APP0/APP1 segments. The carried Orientation is set to 1, because the
// decoder has already turned the pixels upright. Returns false and leaves
// `jpeg` unchanged when the source has no usable EXIF block, the block does
// not fit one segment, or `jpeg` is not a JPEG stream.
bool carry_exif(const std::string& source_path, std::vector<uint8_t>& jpeg);

}  // namespace vantorix
