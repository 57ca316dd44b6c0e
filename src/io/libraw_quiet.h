#pragma once
// LibRaw reports damaged data and failed allocations through callbacks whose
// defaults print to stderr. Every LibRaw processor of the engine installs
// these instead: nothing is printed, and the first report is kept as a note
// that failure messages can quote.
#include <libraw/libraw.h>

#include <string>

namespace vantorix {

void keep_libraw_quiet(LibRaw& proc, std::string& note);

}  // namespace vantorix
