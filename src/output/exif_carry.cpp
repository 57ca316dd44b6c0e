#include "output/exif_carry.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "io/file_io.h"

namespace vantorix {

void feed_exif_loader(ExifLoader* loader, const std::string& path) {
    std::string why;
    const int fd = open_regular_file(path, why);
    if (fd < 0) return;
    unsigned char chunk[1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !exif_loader_write(loader, chunk, static_cast<unsigned int>(n))) break;
    }
    ::close(fd);
}

namespace {

struct ExifDataDeleter {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};

ExifData* load_exif(const std::string& path) {
    ExifLoader* loader = exif_loader_new();
    if (!loader) return nullptr;
    feed_exif_loader(loader, path);
    ExifData* data = exif_loader_get_data(loader);
    exif_loader_unref(loader);
    return data;
}

void reset_orientation(ExifData* data) {
    ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!e || e->format != EXIF_FORMAT_SHORT || e->components < 1 || !e->data || e->size < 2) return;
    exif_set_short(e->data, exif_data_get_byte_order(data), 1);
}

// Position of the first byte after the APP0/APP1 segments that follow SOI.
size_t skip_leading_app_segments(const std::vector<uint8_t>& jpeg) {
    size_t pos = 2;
    const size_t size = jpeg.size();
    if (size <= 5) return pos;
    while (pos + 3 < size) {
        if (jpeg[pos] != 0xFF || (jpeg[pos + 1] != 0xE0 && jpeg[pos + 1] != 0xE1)) break;
        const size_t len = (static_cast<size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        const size_t next = pos + len + 2;
        if (next > size) break;  // a length running past the data ends the scan
        pos = next;
    }
    return pos;
}

}  // namespace

bool carry_exif(const std::string& source_path, std::vector<uint8_t>& jpeg) {
    std::unique_ptr<ExifData, ExifDataDeleter> data(load_exif(source_path));
    if (!data) return false;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
    reset_orientation(data.get());
    unsigned char* raw = nullptr;
    unsigned int raw_size = 0;
    exif_data_save_data(data.get(), &raw, &raw_size);
    data.reset();
    std::unique_ptr<unsigned char, decltype(&std::free)> block(raw, &std::free);
    if (!raw || raw_size == 0) return false;
    const size_t length = static_cast<size_t>(raw_size) + 2;
    if (length > 0xFFFF) return false;  // does not fit one APP1 segment

    const size_t rest = skip_leading_app_segments(jpeg);
    std::vector<uint8_t> out;
    out.reserve(jpeg.size() + length + 2);
    out.push_back(0xFF);
    out.push_back(0xD8);
    out.push_back(0xFF);
    out.push_back(0xE1);
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length & 0xFF));
    out.insert(out.end(), raw, raw + raw_size);
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(rest), jpeg.end());
    jpeg.swap(out);
    return true;
}

}  // namespace vantorix
