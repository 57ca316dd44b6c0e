#pragma once
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace vantorix {

// True when the lower-cased path ends in .jpg .jpeg .png .tif .tiff .bmp .webp.
bool has_image_extension(const std::string& path);

// Largest image, in pixels, that is decoded (16384 x 16384): a header that
// declares more is refused before any pixel memory is taken.
constexpr uint64_t kMaxImagePixels = uint64_t(1) << 28;
// Largest file that is read whole (2 GiB - 1 bytes).
constexpr uint64_t kMaxFileBytes = (uint64_t(1) << 31) - 1;

// The operating system's text for an errno value (thread-safe).
std::string os_reason(int err);

// Opens `path` for reading and accepts only a regular file: the open never
// blocks (O_NONBLOCK, cleared again after fstat on the descriptor), so a FIFO,
// socket, device or directory is refused at once. The descriptor, or -1 with
// `error` = "cannot read '<path>': <reason>", the reason being the OS text or
// "not a regular file".
int open_regular_file(const std::string& path, std::string& error);

// Reads a regular file whole (at most kMaxFileBytes). False (and `out` empty)
// for a missing file, a file that is not regular, a read error or a short
// read; `error` (when given) then says why, as open_regular_file does.
bool read_file_bytes(const std::string& path, std::vector<uint8_t>& out, std::string* error = nullptr);

// Width and height an encoded image declares in its header: JPEG (first
// frame header), PNG (IHDR), BMP, TIFF and BigTIFF (first directory), WebP
// (VP8, VP8L, VP8X). False for any other content or a header cut short.
bool image_header_size(const uint8_t* data, size_t size, uint64_t& width, uint64_t& height);

// Decodes encoded bytes with cv::imdecode flags after checking the declared
// size: only the five formats above are decoded, and only up to
// kMaxImagePixels. Empty on failure; `error` (when given) is then set to
// "image of W x H pixels exceeds the limit of 268435456 pixels" for a refused
// size, else left empty.
cv::Mat decode_image(const uint8_t* data, size_t size, int flags, std::string* error = nullptr);

// read_file_bytes then decode_image; empty on failure, with `error` (when
// given) set by whichever step refused, or left empty when the decoder failed.
cv::Mat read_image_file(const std::string& path, int flags, std::string* error = nullptr);

// The one writer of every file the library and its command line write.
// Replaces `path` atomically: the bytes go to a short temporary name in the
// target's folder, are flushed (fsync), and the temporary file is renamed over
// the target, after which the folder is flushed too. A symbolic link at
// `path` is followed (up to 40 links) and the file it names is replaced; the
// link stays. A replaced file keeps its permission bits, and its owner and
// group where the process may set them. A hard-linked target is split: the
// path gets the new file, other names keep the old one. A FIFO, socket,
// device or directory at the target is refused and left alone. On failure
// the previous file is untouched, no temporary file remains, and `error`
// (when given) is "cannot write '<path>': <reason>", the reason being the
// OS text (e.g. "No such file or directory") or "not a regular file".
bool write_file_atomic(const std::string& path, const uint8_t* data, size_t size, std::string* error = nullptr);
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error = nullptr);

// The extension from the last '.' (dot included); empty when there is none.
std::string path_extension(const std::string& path);

// Encodes with cv::imencode by the path's extension. False when it cannot.
bool encode_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                  std::vector<uint8_t>& out);

// Encodes and writes with write_file_atomic; true only when the whole file was
// written. `error` (when given) is "cannot encode '<path>'" or the writer's.
bool write_image_file(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                      std::string* error = nullptr);

}  // namespace vantorix
