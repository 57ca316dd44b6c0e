// vantorix_write_file: the plain file writer the command line uses for what it
// writes itself, through the same atomic writer as every export.
#include <algorithm>
#include <cstring>

#include "io/file_io.h"
#include "vantorix.h"

extern "C" {

VANTORIX_API int vantorix_write_file(const char* path, const uint8_t* data, size_t size, char* message,
                                     size_t message_capacity) {
    if (message && message_capacity > 0) message[0] = '\0';
    if (!path || (!data && size > 0)) return -1;
    try {
        std::string why;
        if (vantorix::write_file_atomic(path, data, size, &why)) return 0;
        if (message && message_capacity > 0) {
            const size_t n = std::min(why.size(), message_capacity - 1);
            std::memcpy(message, why.data(), n);
            message[n] = '\0';
        }
        return -2;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
