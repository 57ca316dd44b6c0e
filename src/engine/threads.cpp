#include <dlfcn.h>

#include <atomic>
#include <opencv2/core/utility.hpp>

#include "engine/context.h"
#include "engine/threads.h"

namespace vantorix {
namespace {
std::atomic<int> g_thread_count{-1};  // the last vantorix_set_thread_count, -1: default
}  // namespace

void limit_libraw_threads() {
    const int count = g_thread_count.load();
    if (count < 0) return;
    // LibRaw's OpenMP runtime, when the process has it: its thread count is
    // a setting of the calling thread.
    static void (*const set)(int) = [] {
        void* gomp = ::dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return gomp ? reinterpret_cast<void (*)(int)>(::dlsym(gomp, "omp_set_num_threads")) : nullptr;
    }();
    if (set) set(count == 0 ? 1 : count);
}

}  // namespace vantorix

extern "C" VANTORIX_API void vantorix_set_thread_count(int count) {
    try {
        vantorix::g_thread_count.store(count < 0 ? -1 : count);
        cv::setNumThreads(count < 0 ? -1 : count);
    } catch (...) {
    }
}
