// The embedded thumbnail of a RAW file, through LibRaw, without touching the
// pixel path.
#include <libraw/libraw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "engine/messages.h"
#include "io/file_io.h"
#include "io/libraw_quiet.h"
#include "io/thumb_support.h"

namespace vantorix {

namespace {

// Releases the thumbnail, then the processor's data; the processor itself is
// destroyed by its owner afterwards.
struct ThumbRelease {
    LibRaw* proc;
    libraw_processed_image_t* img;
    ~ThumbRelease() {
        if (img) LibRaw::dcraw_clear_mem(img);
        proc->recycle();
    }
};

// LibRaw's text for `code`, with the first data-error note when there is one.
std::string libraw_reason(const char* prefix, int code, const std::string& note) {
    std::string text = std::string(prefix) + libraw_strerror(code);
    if (!note.empty()) text += " (" + note + ")";
    return text;
}

}  // namespace

int with_embedded_thumbnail(const std::string& path, bool consult_error,
                            const std::function<int(const libraw_processed_image_t&)>& use, std::string& reason) {
    // LibRaw reads the regular file checked here, never the path: through the
    // descriptor's name in /proc, reading only the parts it needs, or, where
    // /proc is not mounted, from the whole file read into memory.
    std::string why;
    const int fd = open_regular_file(path, why);
    if (fd < 0) {
        reason = why;
        return -1;
    }
    std::string note;  // outlives the processor that writes it
    auto proc = std::make_unique<LibRaw>(0);
    keep_libraw_quiet(*proc, note);
    struct stat st {};
    int r = ::fstat(fd, &st) == 0 && st.st_size > 0 ? proc->open_file(("/proc/self/fd/" + std::to_string(fd)).c_str())
                                                    : LIBRAW_IO_ERROR;
    ::close(fd);
    std::vector<uint8_t> bytes;
    if (r == LIBRAW_IO_ERROR) {
        proc->recycle();
        if (!read_file_bytes(path, bytes, &why) || bytes.empty()) {
            reason = why.empty() ? std::string(msg::kThumbOpen) + libraw_strerror(LIBRAW_IO_ERROR) : why;
            return -1;
        }
        r = proc->open_buffer(bytes.data(), bytes.size());
    }
    if (r != LIBRAW_SUCCESS) {
        reason = libraw_reason(msg::kThumbOpen, r, note);
        return -1;
    }
    // A thumbnail declaring more pixels than any image may have is not unpacked.
    const auto& t = proc->imgdata.thumbnail;
    if (uint64_t(t.twidth) * t.theight > kMaxImagePixels) {
        proc->recycle();
        reason = "the embedded thumbnail declares " + std::to_string(t.twidth) + " x " + std::to_string(t.theight) +
                 " pixels, more than the limit of " + std::to_string(kMaxImagePixels);
        return -2;
    }
    r = proc->unpack_thumb();
    if (r != LIBRAW_SUCCESS) {
        proc->recycle();
        reason = libraw_reason(msg::kThumbUnpack, r, note);
        return -2;
    }
    int err = 0;
    libraw_processed_image_t* img = proc->dcraw_make_mem_thumb(&err);
    ThumbRelease release{proc.get(), img};
    if (!img || (consult_error && err != 0)) {
        reason = libraw_reason(msg::kThumbMake, err != 0 ? err : LIBRAW_UNSPECIFIED_ERROR, note);
        return -3;
    }
    return use(*img);
}

}  // namespace vantorix
