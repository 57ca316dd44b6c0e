// The development's 16-bit result, written over the float image, equals the library's conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "pipeline/pipeline.h"
#include "support/test_support.h"

TEST(InPlaceResult, EqualsTheLibrarysConversionForEveryKindOfValue) {
    // Every 4099th bit pattern (all signs, exponents, NaN and infinities), then the edges by hand.
    std::vector<float> values;
    for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4099) {
        float v;
        const uint32_t b = static_cast<uint32_t>(bits);
        std::memcpy(&v, &b, sizeof v);
        values.push_back(v);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {0.0f, -0.0f, 0.5f / 65535, 1.5f / 65535, 2.5f / 65535, 1.0f, 65535.5f / 65535, 2.0f, -1.0f, inf,
                    -inf, std::nanf(""), 2147483520.0f / 65535, 2147483648.0f / 65535})
        values.push_back(v);
    values.resize(values.size() / 4 * 4 + (values.size() % 4 ? 4 : 0), 0.25f);
    for (const int rows : {1, 3}) {  // one row, and rows of a cropped view (strided, not the block's start)
        const int cols = static_cast<int>(values.size() / 4 / static_cast<size_t>(rows));
        cv::Mat whole(rows + 2, cols + 3, CV_32FC4, cv::Scalar::all(0.75));
        cv::Mat f = whole(cv::Rect(2, 1, cols, rows));
        for (int y = 0; y < rows; ++y) std::memcpy(f.ptr<float>(y), values.data() + y * cols * 4, static_cast<size_t>(cols) * 16);
        cv::Mat expected;
        f.convertTo(expected, CV_16U, 65535.0);
        const cv::Mat result = vantorix::to_16bit_in_place(f);
        EXPECT_TRUE(vantorix::shares_block(result, whole));
        EXPECT_TRUE(testsupport::identical(result, expected)) << rows << " rows";
    }
}
