// vantorix_read_exif: the shooting data of a file without decoding a pixel.
// The EXIF block is found in the container (JPEG APP1, a TIFF file's own
// header, a PNG eXIf chunk, a WebP EXIF chunk); a camera RAW file without one
// gives what LibRaw reports when it opens the file, before any unpacking.
#include <fcntl.h>
#include <libraw/libraw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "io/file_io.h"
#include "io/libraw_quiet.h"
#include "output/exif_reader.h"
#include "vantorix.h"

namespace vantorix {
namespace {

// The largest file read whole to find a TIFF file's IFDs.
constexpr off_t kMaxTiffBytes = off_t(1) << 30;

// An open regular file. The descriptor is opened without blocking, so a FIFO
// or a device under an image name is refused instead of waited on.
struct RegularFile {
    int fd = -1;
    off_t size = 0;
    explicit RegularFile(const char* path) {
        fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        if (fd >= 0) size = st.st_size;
    }
    ~RegularFile() {
        if (fd >= 0) ::close(fd);
    }
    // Exactly n bytes at offset pos.
    bool read_at(off_t pos, void* out, size_t n) const {
        size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd, static_cast<char*>(out) + done, n - done, pos + off_t(done));
            if (r <= 0) return false;
            done += size_t(r);
        }
        return true;
    }
};

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

bool summarize_chunk(const RegularFile& f, off_t pos, uint32_t len, ExifSummary& rec) {
    if (len > f.size - pos) return false;
    std::vector<uint8_t> data(len);
    if (!f.read_at(pos, data.data(), len)) return false;
    size_t skip = 0;  // some writers keep the APP1 header in the chunk
    if (len >= 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0) skip = 6;
    return summarize_tiff_structure(data.data() + skip, len - skip, rec);
}

// PNG: chunks of length, type, data and CRC after the 8-byte signature.
bool png_exif(const RegularFile& f, ExifSummary& rec) {
    off_t pos = 8;
    uint8_t head[8];
    while (pos + 12 <= f.size && f.read_at(pos, head, 8)) {
        const uint32_t len = be32(head);
        if (std::memcmp(head + 4, "eXIf", 4) == 0) return summarize_chunk(f, pos + 8, len, rec);
        if (std::memcmp(head + 4, "IEND", 4) == 0) break;
        pos += 12 + off_t(len);
    }
    return false;
}

// WebP: a RIFF container of chunks (four-character code, little-endian size,
// data padded to an even length).
bool webp_exif(const RegularFile& f, ExifSummary& rec) {
    off_t pos = 12;
    uint8_t head[8];
    while (pos + 8 <= f.size && f.read_at(pos, head, 8)) {
        const uint32_t len = le32(head + 4);
        if (std::memcmp(head, "EXIF", 4) == 0) return summarize_chunk(f, pos + 8, len, rec);
        pos += 8 + off_t(len) + off_t(len & 1);
    }
    return false;
}

bool tiff_exif(const RegularFile& f, ExifSummary& rec) {
    if (f.size > kMaxTiffBytes) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(f.size));
    return f.read_at(0, bytes.data(), bytes.size()) && summarize_tiff_structure(bytes.data(), bytes.size(), rec);
}

bool container_exif(const RegularFile& f, ExifSummary& rec) {
    uint8_t magic[12] = {};
    if (f.size < 12 || !f.read_at(0, magic, 12)) return false;
    if (std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0) return png_exif(f, rec);
    if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WEBP", 4) == 0) return webp_exif(f, rec);
    if (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0) return tiff_exif(f, rec);
    return false;
}

// What a RAW development at full size records, read when LibRaw opens the
// file: the same fields, and the size the development would have (LibRaw's
// output size, then the 2000-pixel cap with OpenCV's rounding).
bool raw_metadata(const char* path, ExifSummary& rec) {
    std::string note;  // LibRaw's data-error reports, kept off stderr
    auto proc = std::make_unique<LibRaw>(0);
    keep_libraw_quiet(*proc, note);
    if (proc->open_file(path) != LIBRAW_SUCCESS || proc->adjust_sizes_info_only() != LIBRAW_SUCCESS) return false;
    ShootingData raw;
    const auto& d = proc->imgdata;
    int w = d.sizes.iwidth, h = d.sizes.iheight;  // turned by the flip code already
    const int longer = std::max(w, h);
    if (longer > 2000) {
        const double factor = 2000.0f / static_cast<float>(longer);
        w = static_cast<int>(std::lrint(w * factor));
        h = static_cast<int>(std::lrint(h * factor));
    }
    raw.width = w;
    raw.height = h;
    raw.iso = d.other.iso_speed;
    raw.exposure_time = d.other.shutter;
    raw.aperture = d.other.aperture;
    raw.focal_length = d.other.focal_len;
    std::memcpy(raw.make, d.idata.make, strnlen(d.idata.make, sizeof raw.make - 1));
    std::memcpy(raw.model, d.idata.model, strnlen(d.idata.model, sizeof raw.model - 1));
    raw.orientation = d.sizes.flip;
    fill_from_raw(raw, rec);
    return true;
}

}  // namespace
}  // namespace vantorix

extern "C" VANTORIX_API int vantorix_read_exif(const char* path, ExifSummary* record) {
    if (!path || !record) return -1;
    try {
        const vantorix::RegularFile file(path);
        if (file.fd < 0) return -1;
        ExifSummary rec;
        if (!vantorix::read_exif_summary(path, rec)) {
            if (vantorix::has_image_extension(path)) {
                vantorix::container_exif(file, rec);  // none found: the empty record
            } else if (!vantorix::raw_metadata(path, rec)) {
                return -2;
            }
        }
        std::memcpy(record, &rec, sizeof rec);
        return 0;
    } catch (...) {
        return -1;
    }
}
