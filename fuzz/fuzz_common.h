#pragma once
// Shared by the fuzz harnesses: the input written to a file of this process
// under a chosen name ending, for the functions that take a path.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vantorix.h"

inline std::string fuzz_file(const uint8_t* data, size_t size, const char* ending) {
    const char* dir = std::getenv("TMPDIR");
    const std::string p = std::string(dir ? dir : "/tmp") + "/vx-fuzz-" + std::to_string(::getpid()) + ending;
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return p;
}

#define FUZZ_ENTRY extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
