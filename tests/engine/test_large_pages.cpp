// Large matrices get their own 2 MiB-aligned mapping; everything else keeps the previous allocator.
#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/core.hpp>

#include "engine/large_pages.h"

TEST(LargePages, LargeMatricesAreAlignedDenseAndUsable) {
    vantorix::use_large_pages_for_matrices();
    vantorix::use_large_pages_for_matrices();  // a second call changes nothing
    const int sizes[] = {3, 1024, 1024};      // 12 MiB of bytes as a 3-D matrix
    struct Case { cv::Mat m; bool large; } cases[] = {{cv::Mat(2731, 4096, CV_32FC4), true}, {cv::Mat(3, sizes, CV_32SC1), true},
                 {cv::Mat(1000, 1000, CV_8UC3), false}};
    for (Case& c : cases) {
        const bool aligned = reinterpret_cast<uintptr_t>(c.m.data) % (size_t(2) << 20) == 0;
        EXPECT_EQ(aligned && c.m.u->currAllocator != cv::Mat::getStdAllocator(), c.large) << c.m.total();
        EXPECT_TRUE(c.m.isContinuous());
        c.m.setTo(cv::Scalar::all(7));  // every byte of the mapping is writable
        EXPECT_EQ(cv::sum(c.m)[0], 7.0 * static_cast<double>(c.m.total()));
    }
}
