// The stored development: skipped only when it would repeat the last one bit
// for bit, and its 16-bit result written over the float image.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "pipeline/pipeline.h"
#include "support/test_support.h"

namespace {

int process_reports = 0;
int count_process(void*, int stage, float) { return process_reports += stage == VANTORIX_STAGE_PROCESS, 0; }

}  // namespace

TEST(RepeatDevelopment, SkipsOnlyWhatWouldRepeat) {
    using Step = std::function<void(EngineContext*)>;
    const Step exposure = [](EngineContext* c) { vantorix_set_exposure(c, 0.4f); };
    static const float pts[] = {0, 0, 0.5f, 0.6f, 1, 1};
    const Step curve = [](EngineContext* c) { vantorix_set_tone_curve(c, 0, pts, 3); };
    const Step negative_zero = [](EngineContext* c) { vantorix_set_rotation(c, -0.0f); };
    struct Case { const char* name; std::vector<Step> between; bool develops_again; } cases[] = {  // steps: after vantorix_process
        {"nothing changed", {}, false},
        {"a setting changed", {exposure}, true},
        {"a curve changed", {curve}, true},
        {"-0 instead of +0", {negative_zero}, true},
        {"changed and set back", {exposure, [](EngineContext* c) { vantorix_set_exposure(c, 0.0f); }}, false},
        {"reset", {[](EngineContext* c) { vantorix_reset_adjustments(c); }}, true},
    };
    const cv::Mat photo = testsupport::disc_image(96, 64, {40, 30}, 20);
    for (const Case& c : cases) {
        testsupport::Context ctx, fresh;
        for (EngineContext* c : {ctx.ctx, fresh.ctx})  // resampling stages keep buffers between renders
            testsupport::load_image(c, photo, "repeat.png"), vantorix_set_contrast(c, 30), vantorix_set_rotation(c, 4),
                vantorix_set_distortion(c, 20);
        ASSERT_EQ(vantorix_process(ctx), 0);
        vantorix_set_progress_callback(ctx, count_process, nullptr);
        for (const Step& s : c.between) s(ctx), s(fresh);
        const cv::Mat preview = (process_reports = 0, testsupport::preview_of(ctx));
        EXPECT_EQ(process_reports > 0, c.develops_again) << c.name;
        EXPECT_TRUE(testsupport::identical(preview, testsupport::preview_of(fresh))) << c.name;
    }
}

TEST(RepeatDevelopment, GrainIsAlwaysDevelopedAfresh) {
    testsupport::Context ctx;
    testsupport::load_image(ctx, testsupport::disc_image(64, 64, {32, 32}, 20), "grain.png");
    vantorix_set_grain_amount(ctx, 80);
    const cv::Mat first = testsupport::preview_of(ctx);
    EXPECT_FALSE(testsupport::identical(first, testsupport::preview_of(ctx)));
}

// The result equals the library's conversion for every kind of value.
TEST(InPlaceResult, EqualsTheLibrarysConversionForEveryKindOfValue) {
    // Every 4099th bit pattern (all signs, exponents, NaN and infinities), then the edges by hand.
    std::vector<int32_t> bits;
    for (int64_t b = 0; b <= 0xFFFFFFFF; b += 4099) bits.push_back(static_cast<int32_t>(static_cast<uint32_t>(b)));
    const float inf = std::numeric_limits<float>::infinity(), edges[] = {0.0f, -0.0f, 0.5f / 65535, 1.5f / 65535,
        2.5f / 65535, 1.0f, 65535.5f / 65535, 2.0f, -1.0f, inf, -inf, std::nanf(""), 2147483520.0f / 65535, 2147483648.0f / 65535};
    bits.resize(bits.size() + std::size(edges));
    std::memcpy(bits.data() + bits.size() - std::size(edges), edges, sizeof edges);
    bits.resize((bits.size() + 11) / 12 * 12);
    const int cols = static_cast<int>(bits.size() / 12);
    // Three rows of a cropped view: strided, and not at the start of its block.
    cv::Mat whole(5, cols + 3, CV_32FC4, cv::Scalar::all(0.75)), f = whole(cv::Rect(2, 1, cols, 3));
    cv::Mat(3, cols, CV_32FC4, bits.data()).copyTo(f);
    cv::Mat expected;
    f.convertTo(expected, CV_16U, 65535.0);
    const cv::Mat result = vantorix::to_16bit_in_place(f);
    EXPECT_TRUE(vantorix::shares_block(result, whole));
    EXPECT_TRUE(testsupport::identical(result, expected));
}
