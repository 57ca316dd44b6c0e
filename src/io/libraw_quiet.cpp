#include "io/libraw_quiet.h"

#include <sys/stat.h>
#include <unistd.h>

#include "io/file_io.h"

namespace vantorix {

namespace {

void on_data_error(void* data, const char* /*file*/, const int offset) {
    auto* note = static_cast<std::string*>(data);
    if (!note->empty()) return;
    try {
        *note = offset < 0 ? "unexpected end of file" : "data corrupted at offset " + std::to_string(offset);
    } catch (...) {
    }
}

void on_memory_error(void* data, const char* /*file*/, const char* where) {
    auto* note = static_cast<std::string*>(data);
    if (!note->empty()) return;
    try {
        *note = std::string("out of memory in ") + (where ? where : "LibRaw");
    } catch (...) {
    }
}

}  // namespace

void keep_libraw_quiet(LibRaw& proc, std::string& note) {
    proc.set_dataerror_handler(on_data_error, &note);
    proc.set_memerror_handler(on_memory_error, &note);
}

int open_raw_file(LibRaw& proc, const std::string& path, std::vector<uint8_t>& bytes, uint64_t& file_size,
                  std::string& error) {
    bytes.clear();
    file_size = 0;
    const int fd = open_regular_file(path, error);
    if (fd < 0) return -1;
    struct stat st {};
    const bool sized = ::fstat(fd, &st) == 0 && st.st_size > 0;
    if (sized) file_size = static_cast<uint64_t>(st.st_size);
    int r = sized ? proc.open_file(("/proc/self/fd/" + std::to_string(fd)).c_str()) : LIBRAW_IO_ERROR;
    ::close(fd);
    if (r != LIBRAW_IO_ERROR) return r;
    proc.recycle();
    if (!read_file_bytes(path, bytes, &error) || bytes.empty()) return -1;
    file_size = bytes.size();
    return proc.open_buffer(bytes.data(), bytes.size());
}

}  // namespace vantorix
