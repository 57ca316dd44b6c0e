#include "io/libraw_quiet.h"

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

}  // namespace vantorix
