// One thread means one thread, LibRaw's OpenMP runtime included.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

TEST(Threads, OneThreadAlsoBoundsLibRawsOpenMp) {
    vantorix_set_thread_count(1);
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, testsupport::sample_crw().c_str(), 2), 0);  // LibRaw has loaded OpenMP
    void* gomp = ::dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(gomp, nullptr);
    const auto max_threads = reinterpret_cast<int (*)()>(::dlsym(gomp, "omp_get_max_threads"));
    ASSERT_NE(max_threads, nullptr);
    EXPECT_EQ(max_threads(), 1);
    vantorix_set_thread_count(-1);
}
