#pragma once
// The thread count a host chose with vantorix_set_thread_count.

namespace vantorix {

// Applies the chosen count (when the host chose one) to LibRaw's OpenMP
// threads for the calling thread; call it on the thread that develops, before
// LibRaw works. Does nothing when OpenMP is not loaded.
void limit_libraw_threads();

}  // namespace vantorix
