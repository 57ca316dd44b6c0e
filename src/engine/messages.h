#pragma once
// Every failure text the engine stores in a context, in one place, so that one
// condition always reads the same. Texts that end in ": " are followed by a
// path or by the reason a library gave.
namespace vantorix::msg {

// Preconditions
inline constexpr char kNoImage[] = "no image loaded";
inline constexpr char kNoFile[] = "no file loaded";
inline constexpr char kEmptyDevelopment[] = "pipeline produced empty result";

// Loading
inline constexpr char kCannotDecode[] = "OpenCV could not read: ";
inline constexpr char kPixelLayout[] = "invalid pixel layout: ";
inline constexpr char kRawOpen[] = "LibRaw open_file failed: ";
inline constexpr char kRawUnpack[] = "LibRaw unpack failed: ";
inline constexpr char kRawProcess[] = "LibRaw dcraw_process failed: ";
inline constexpr char kRawMemImage[] = "LibRaw dcraw_make_mem_image failed: ";

// Read-out and export
inline constexpr char kBufferTooSmall[] = "output buffer too small";
inline constexpr char kJpegWrite[] = "JPEG write failed";
inline constexpr char kPngWrite[] = "PNG write failed";
inline constexpr char kTiffWrite[] = "TIFF write failed";

// Segmentation and cut-out
inline constexpr char kGrabCut[] = "GrabCut failed";
inline constexpr char kEmptyBox[] = "subject box is empty or outside the image";
inline constexpr char kNoMaskForCopy[] = "no segmentation mask \xE2\x80\x94 call vantorix_segment_subject first";
inline constexpr char kNoMask[] = "no segmentation mask";
inline constexpr char kMaskSize[] = "segmentation mask does not match the developed image";
inline constexpr char kCutoutWrite[] = "failed to write PNG";

// Files without a context (thumbnail and perceptual hash)
inline constexpr char kThumbOpen[] = "LibRaw open_file failed: ";
inline constexpr char kThumbUnpack[] = "LibRaw unpack_thumb failed: ";
inline constexpr char kThumbMake[] = "LibRaw dcraw_make_mem_thumb failed: ";
inline constexpr char kThumbEmpty[] = "the embedded thumbnail is empty";
inline constexpr char kThumbLayout[] = "the embedded thumbnail has a layout that cannot be converted";
inline constexpr char kThumbUndecodable[] = "the embedded JPEG thumbnail cannot be decoded";
inline constexpr char kThumbEncode[] = "the thumbnail could not be encoded as JPEG";
inline constexpr char kThumbTooLarge[] = "the thumbnail is larger than 4 GiB";
inline constexpr char kOutOfMemory[] = "out of memory";

// Exceptions caught at the interface
inline constexpr char kOpenCvError[] = "OpenCV error: ";
inline constexpr char kInternal[] = "internal error: ";
inline constexpr char kUnknownException[] = "internal error: unknown exception";

}  // namespace vantorix::msg

#include <string>

namespace vantorix {

// The reason the calling thread's last failed call without a context
// (vantorix_extract_thumbnail, vantorix_phash) gave; vantorix_last_file_error
// returns it.
std::string& file_error();

}  // namespace vantorix
