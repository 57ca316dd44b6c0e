#include <cstring>

#include "support/test_support.h"

using testsupport::Context;

TEST(Lifecycle, NewContextIsEmpty) {
    Context ctx;
    ASSERT_NE(ctx.ctx, nullptr);
    EXPECT_EQ(vantorix_get_width(ctx), 0);
    EXPECT_EQ(vantorix_get_height(ctx), 0);
    EXPECT_STREQ(vantorix_last_error(ctx), "");
    EXPECT_STREQ(vantorix_version(), "1.0.0");
    EXPECT_EQ(vantorix_init(), 0);
    EXPECT_EQ(vantorix_init(), 0);
    vantorix_shutdown();
}

TEST(Lifecycle, NullContext) {
    EXPECT_STREQ(vantorix_last_error(nullptr), "null context");
    EXPECT_EQ(vantorix_get_width(nullptr), 0);
    EXPECT_EQ(vantorix_get_height(nullptr), 0);
    vantorix_destroy_context(nullptr);
    EXPECT_EQ(vantorix_process(nullptr), -1);
}
