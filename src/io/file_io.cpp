#include "io/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <system_error>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "vantorix.h"

namespace vantorix {

static_assert(kMaxImagePixels == VANTORIX_MAX_IMAGE_PIXELS, "one pixel limit");

bool has_image_extension(const std::string& path) {
    std::string lower(path);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kSuffixes[] = {".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp", ".webp"};
    for (const char* suffix : kSuffixes) {
        const std::string s(suffix);
        if (lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0) return true;
    }
    return false;
}

std::string os_reason(int err) { return std::error_code(err, std::generic_category()).message(); }

namespace {

std::string not_regular(const char* verb, const std::string& path) {
    return std::string("cannot ") + verb + " '" + path + "': not a regular file";
}

std::string os_failure(const char* verb, const std::string& path, int err) {
    return std::string("cannot ") + verb + " '" + path + "': " + os_reason(err);
}

void put_error(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

}  // namespace

int open_regular_file(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        // A socket cannot be opened at all (ENXIO): name it like the others.
        error = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) ? not_regular("read", path)
                                                                        : os_failure("read", path, err);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = not_regular("read", path);
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        error = os_failure("read", path, errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool read_file_bytes(const std::string& path, std::vector<uint8_t>& out, std::string* error) {
    out.clear();
    std::string why;
    const int fd = open_regular_file(path, why);
    if (fd < 0) {
        put_error(error, why);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        ::close(fd);
        put_error(error, "cannot read '" + path + "': larger than " + std::to_string(kMaxFileBytes) + " bytes");
        return false;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    int err = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != out.size()) {
        out.clear();
        out.shrink_to_fit();
        put_error(error, err ? os_failure("read", path, err) : "cannot read '" + path + "': file shrank while read");
        return false;
    }
    return true;
}

namespace {

uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t be32(const uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }
uint32_t le16(const uint8_t* p) { return (uint32_t(p[1]) << 8) | p[0]; }
uint32_t le32(const uint8_t* p) { return (le16(p + 2) << 16) | le16(p); }
uint32_t le24(const uint8_t* p) { return (uint32_t(p[2]) << 16) | le16(p); }
uint64_t le64(const uint8_t* p) { return (uint64_t(le32(p + 4)) << 32) | le32(p); }
uint64_t be64(const uint8_t* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

bool jpeg_size(const uint8_t* d, size_t n, uint64_t& w, uint64_t& h) {
    size_t pos = 2;
    while (pos + 4 <= n) {
        if (d[pos] != 0xFF) return false;
        const uint8_t m = d[pos + 1];
        if (m == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) {  // markers without a length
            pos += 2;
            continue;
        }
        if (m == 0xD9 || m == 0xDA) return false;  // end of image or scan before any frame header
        const size_t len = be16(d + pos + 2);
        const bool sof = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (sof) {
            if (pos + 9 > n) return false;
            h = be16(d + pos + 5);
            w = be16(d + pos + 7);
            return true;
        }
        if (len < 2) return false;
        pos += 2 + len;
    }
    return false;
}

// First directory of a TIFF or BigTIFF file: ImageWidth (256) and ImageLength (257).
bool tiff_size(const uint8_t* d, size_t n, uint64_t& w, uint64_t& h) {
    const bool le = d[0] == 'I';
    auto u16 = [&](size_t at) { return le ? le16(d + at) : be16(d + at); };
    auto u32 = [&](size_t at) { return le ? le32(d + at) : be32(d + at); };
    auto u64 = [&](size_t at) { return le ? le64(d + at) : be64(d + at); };
    const bool big = u16(2) == 43;
    if (big && n < 16) return false;
    const uint64_t ifd = big ? u64(8) : u32(4);
    const size_t count_size = big ? 8 : 2, entry_size = big ? 20 : 12, value_at = big ? 12 : 8;
    if (ifd > n || n - ifd < count_size) return false;
    const uint64_t count = big ? u64(ifd) : u16(ifd);
    bool have_w = false, have_h = false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t e = ifd + count_size + i * entry_size;
        if (e > n || n - e < entry_size) break;
        const uint32_t tag = u16(e), type = u16(e + 2);
        if (tag != 256 && tag != 257) continue;
        uint64_t v;
        if (type == 3)
            v = u16(e + value_at);
        else if (type == 4)
            v = u32(e + value_at);
        else if (type == 16 && big)
            v = u64(e + value_at);
        else
            return false;
        (tag == 256 ? w : h) = v;
        (tag == 256 ? have_w : have_h) = true;
    }
    return have_w && have_h;
}

bool webp_size(const uint8_t* d, size_t n, uint64_t& w, uint64_t& h) {
    if (n < 30) return false;
    const uint8_t* c = d + 12;
    if (std::memcmp(c, "VP8 ", 4) == 0) {
        w = le16(d + 26) & 0x3FFF;
        h = le16(d + 28) & 0x3FFF;
        return true;
    }
    if (std::memcmp(c, "VP8L", 4) == 0) {
        const uint32_t bits = le32(d + 21);
        w = (bits & 0x3FFF) + 1;
        h = ((bits >> 14) & 0x3FFF) + 1;
        return true;
    }
    if (std::memcmp(c, "VP8X", 4) == 0) {
        w = le24(d + 24) + 1;
        h = le24(d + 27) + 1;  // the last of the 30 bytes checked above
        return true;
    }
    return false;
}

}  // namespace

bool image_header_size(const uint8_t* d, size_t n, uint64_t& w, uint64_t& h) {
    w = h = 0;
    if (!d || n < 8) return false;
    if (d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return jpeg_size(d, n, w, h);
    if (std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) {
        if (n < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
        w = be32(d + 16);
        h = be32(d + 20);
        return true;
    }
    if (d[0] == 'B' && d[1] == 'M') {
        if (n < 26) return false;
        if (le32(d + 14) == 12) {  // OS/2 1.x header: 16-bit sides
            w = le16(d + 18);
            h = le16(d + 20);
            return true;
        }
        const int64_t sw = static_cast<int32_t>(le32(d + 18)), sh = static_cast<int32_t>(le32(d + 22));
        w = static_cast<uint64_t>(sw < 0 ? -sw : sw);
        h = static_cast<uint64_t>(sh < 0 ? -sh : sh);  // negative: rows top down
        return true;
    }
    if ((d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0) ||
        (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43)))
        return tiff_size(d, n, w, h);
    if (n >= 16 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "WEBP", 4) == 0) return webp_size(d, n, w, h);
    return false;
}

namespace {

bool write_all(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a path names after following symbolic links (the path itself when
// it is no link, or names nothing yet). False with errno set on a loop or an
// unreadable link.
bool follow_links(const std::string& path, std::string& out) {
    std::string p = path;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) >= buf.size()) {  // grew meanwhile
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string target(buf.data(), static_cast<size_t>(n));
        const std::string::size_type slash = p.find_last_of('/');
        p = target.empty() || target[0] == '/' || slash == std::string::npos ? target : p.substr(0, slash + 1) + target;
    }
    errno = ELOOP;
    return false;
}

// A short temporary name in the folder of `target` (".vx" and eight hex digits).
std::string temp_name_for(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string::size_type slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const uint32_t mix = static_cast<uint32_t>((t ^ (t >> 32)) * 2654435761u) ^
                         (static_cast<uint32_t>(::getpid()) << 16) ^
                         (counter.fetch_add(1, std::memory_order_relaxed) * 40503u) ^ attempt;
    char name[16];
    std::snprintf(name, sizeof name, ".vx%08x", mix);
    return dir + name;
}

void sync_folder_of(const std::string& target) {
    const std::string::size_type slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the file itself is already on disk
    ::close(fd);
}

}  // namespace

bool write_file_atomic(const std::string& path, const uint8_t* data, size_t size, std::string* error) {
    if (path.empty() || path.back() == '/') {
        put_error(error, os_failure("write", path, path.empty() ? ENOENT : EISDIR));
        return false;
    }
    std::string target;
    if (!follow_links(path, target)) {
        put_error(error, os_failure("write", path, errno));
        return false;
    }
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        put_error(error, not_regular("write", path));
        return false;
    }
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string tmp = temp_name_for(target, attempt);
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            put_error(error, os_failure("write", path, errno));
            return false;
        }
        if (replacing) {
            // Owner first (a change of owner may clear set-id bits), then the mode.
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        bool ok = (!replacing || ::fchmod(fd, old.st_mode & 07777) == 0) && write_all(fd, data, size) &&
                  ::fsync(fd) == 0;
        int err = ok ? 0 : errno;
        if (::close(fd) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
            ok = false;
            err = errno;
        }
        if (!ok) {
            ::unlink(tmp.c_str());
            put_error(error, os_failure("write", path, err));
            return false;
        }
        sync_folder_of(target);
        return true;
    }
    put_error(error, os_failure("write", path, EEXIST));
    return false;
}

bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    return write_file_atomic(path, bytes.data(), bytes.size(), error);
}

std::string path_extension(const std::string& path) {
    const std::string::size_type dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    return path.substr(dot);
}

}  // namespace vantorix
