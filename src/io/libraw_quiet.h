#pragma once
// LibRaw reports damaged data and failed allocations through callbacks whose
// defaults print to stderr. Every LibRaw processor of the engine installs
// these instead: nothing is printed, and the first report is kept as a note
// that failure messages can quote.
#include <libraw/libraw.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vantorix {

void keep_libraw_quiet(LibRaw& proc, std::string& note);

// Opens the regular file at `path` with `proc`. LibRaw reads the file checked
// here, never the path: through the descriptor's name in /proc, reading only
// the parts it needs, or, where /proc is not mounted, from the whole file read
// into `bytes`, which must then outlive the processing. LibRaw's code, with
// `file_size` set; -1 when the file cannot be read, with `error` saying why
// (missing, not a regular file, unreadable), or empty for an empty file.
int open_raw_file(LibRaw& proc, const std::string& path, std::vector<uint8_t>& bytes, uint64_t& file_size,
                  std::string& error);

}  // namespace vantorix
