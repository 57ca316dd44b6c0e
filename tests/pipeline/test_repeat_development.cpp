// A development is skipped only when it would repeat the last one bit for bit.
#include <gtest/gtest.h>

#include <functional>

#include "support/test_support.h"

namespace {

int process_reports = 0;
int count_process(void*, int stage, float) { return process_reports += stage == VANTORIX_STAGE_PROCESS, 0; }

}  // namespace

TEST(RepeatDevelopment, SkipsOnlyWhatWouldRepeat) {
    using Step = std::function<void(EngineContext*)>;
    const Step exposure = [](EngineContext* c) { vantorix_set_exposure(c, 0.4f); };
    const Step curve = [](EngineContext* c) {
        const float pts[] = {0, 0, 0.5f, 0.6f, 1, 1};
        vantorix_set_tone_curve(c, 0, pts, 3);
    };
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
        testsupport::load_image(ctx, photo, "repeat.png");
        testsupport::load_image(fresh, photo, "repeat.png");
        for (EngineContext* c : {ctx.ctx, fresh.ctx})  // resampling stages keep buffers between renders
            vantorix_set_contrast(c, 30), vantorix_set_rotation(c, 4), vantorix_set_distortion(c, 20);
        ASSERT_EQ(vantorix_process(ctx), 0);
        vantorix_set_progress_callback(ctx, count_process, nullptr);
        for (const Step& s : c.between) s(ctx), s(fresh);
        process_reports = 0;
        const cv::Mat preview = testsupport::preview_of(ctx);
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
