#include "io/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>

#include "io/codecs.h"

namespace vantorix {

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

bool read_file_bytes(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size > static_cast<uint64_t>(SIZE_MAX / 2)) {
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != out.size()) {
        out.clear();
        out.shrink_to_fit();
        return false;
    }
    return true;
}

namespace {

bool write_all(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string temp_name_for(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string::size_type slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%u.tmp", static_cast<long>(::getpid()),
                  counter.fetch_add(1, std::memory_order_relaxed), attempt);
    return dir + "." + base + suffix;
}

}  // namespace

bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (path.empty() || path.back() == '/') return false;
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return false;
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string tmp = temp_name_for(path, attempt);
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool ok = write_all(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        if (!ok || !closed || ::rename(tmp.c_str(), path.c_str()) != 0) {
            ::unlink(tmp.c_str());
            return false;
        }
        return true;
    }
    return false;
}

cv::Mat read_image_file(const std::string& path, int flags) {
    std::vector<uint8_t> bytes;
    if (!read_file_bytes(path, bytes) || bytes.empty()) return cv::Mat();
    try {
        return decode_image(bytes, flags);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}

std::string path_extension(const std::string& path) {
    const std::string::size_type dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    return path.substr(dot);
}

bool encode_image(const std::string& path, const cv::Mat& image, const std::vector<int>& params,
                  std::vector<uint8_t>& out) {
    out.clear();
    const std::string ext = path_extension(path);
    if (ext.empty() || image.empty()) return false;
    try {
        return encode_image_bytes(ext, image, out, params) && !out.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

bool write_image_file(const std::string& path, const cv::Mat& image, const std::vector<int>& params) {
    std::vector<uint8_t> bytes;
    if (!encode_image(path, image, params, bytes)) return false;
    return write_file_atomic(path, bytes);
}

}  // namespace vantorix
