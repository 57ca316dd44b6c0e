// The settings document: round trip to identical settings and pixels, and
// refused documents that leave every setting as it was.
#include <cmath>
#include <limits>
#include <opencv2/core.hpp>
#include <string>

#include "support/test_support.h"

namespace {

using testsupport::Context;

std::string settings_json(EngineContext* ctx) {
    const int n = vantorix_get_settings_json(ctx, nullptr, 0);
    EXPECT_GT(n, 0);
    std::string doc(static_cast<size_t>(n) + 1, '\x7f');
    EXPECT_EQ(vantorix_get_settings_json(ctx, &doc[0], n + 1), n);
    EXPECT_EQ(doc[static_cast<size_t>(n)], '\0');
    doc.resize(static_cast<size_t>(n));
    return doc;
}

std::string small_photo() {
    static const std::string path = [] {
        cv::Mat bgr(48, 64, CV_8UC3);
        cv::randu(bgr, 0, 256);
        const std::string p = testsupport::temp_path("settings_json_photo.png");
        testsupport::write_image(p, bgr);
        return p;
    }();
    return path;
}

// Every setting away from its default; values chosen to need all nine digits,
// a subnormal, a negative zero and the extremes of the float range. Grain is
// negative: non-default, yet off, so pixels stay comparable.
void set_everything(EngineContext* c) {
    void (*const scalars[])(EngineContext*, float) = {
        vantorix_set_exposure,          vantorix_set_brightness,    vantorix_set_contrast,
        vantorix_set_highlights,        vantorix_set_shadows,       vantorix_set_whites,
        vantorix_set_blacks,            vantorix_set_temperature,   vantorix_set_tint,
        vantorix_set_saturation,        vantorix_set_vibrance,      vantorix_set_sharpening_amount,
        vantorix_set_sharpening_radius, vantorix_set_sharpening_threshold, vantorix_set_nr_luminance,
        vantorix_set_nr_color,          vantorix_set_clarity,       vantorix_set_texture,
        vantorix_set_dehaze,            vantorix_set_distortion,    vantorix_set_ca_correction,
        vantorix_set_lens_vignette,     vantorix_set_defringe,      vantorix_set_rotation,
        vantorix_set_perspective_h,     vantorix_set_perspective_v, vantorix_set_vignette_amount,
        vantorix_set_vignette_midpoint, vantorix_set_vignette_roundness, vantorix_set_grain_amount,
        vantorix_set_grain_size};
    const float values[] = {0.1f, 1.0f / 3.0f, 16777217.0f, -37.5f, 1e-40f, 12.3456789f, -0.0f, 7321.123f,
                            -12.75f, 21.2f, -33.3f, 40.1f, 1.7f, 3.3f, 11.1f, 22.2f, 17.7f, -9.9f, 5.5f, 3.1f,
                            20.2f, 30.3f, 14.4f, 2.22f, 4.4f, -6.6f, -25.5f, 41.1f, 12.3f, -3.0f, 3.4028235e38f};
    static_assert(sizeof values / sizeof values[0] == sizeof scalars / sizeof scalars[0], "one value per setter");
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) scalars[i](c, values[i]);
    vantorix_set_flip_h(c, 7);
    vantorix_set_flip_v(c, -1);
    vantorix_set_crop(c, 0.05f, 0.1f, 0.8f, 0.7f);
    for (int b = 0; b < 8; ++b) vantorix_set_hsl(c, b, b * 1.1f, -b * 2.3f, b * 0.7f);
    vantorix_set_split_toning(c, 0, 33.3f, 21.1f, 7.7f);
    vantorix_set_split_toning(c, 1, 210.5f, 14.2f, 0.0f);
    for (int ch = 0; ch < 4; ++ch) {
        const float curve[6] = {0, 0.01f * ch, 0.4f, 0.5f + 0.03f * ch, 1, 0.99f};
        vantorix_set_tone_curve(c, ch, curve, 3);
    }
    vantorix_set_bg_blur(c, 33.3f);
}

TEST(SettingsJson, RoundTripGivesIdenticalSettingsAndPixels) {
    Context a, b;
    ASSERT_EQ(vantorix_load_arw(a, small_photo().c_str(), 1), 0);
    ASSERT_EQ(vantorix_load_arw(b, small_photo().c_str(), 1), 0);
    set_everything(a);
    const std::string doc = settings_json(a);
    ASSERT_EQ(vantorix_set_settings_json(b, doc.c_str()), 0) << vantorix_last_error(b);
    EXPECT_EQ(settings_json(b), doc);
    EXPECT_TRUE(testsupport::identical(testsupport::preview_of(a), testsupport::preview_of(b)));

    // NaN and infinities travel as strings.
    vantorix_set_exposure(a, std::numeric_limits<float>::quiet_NaN());
    vantorix_set_tint(a, -std::numeric_limits<float>::infinity());
    const std::string odd = settings_json(a);
    EXPECT_NE(odd.find("\"exposure\": \"NaN\""), std::string::npos);
    EXPECT_NE(odd.find("\"tint\": \"-Infinity\""), std::string::npos);
    ASSERT_EQ(vantorix_set_settings_json(b, odd.c_str()), 0) << vantorix_last_error(b);
    EXPECT_EQ(settings_json(b), odd);

    // A partial document is a preset: the rest goes back to the defaults.
    Context fresh;
    vantorix_set_exposure(fresh, 0.5f);
    ASSERT_EQ(vantorix_set_settings_json(b, "{\"vantorix\": 1, \"settings\": {\"exposure\": 0.5}}"), 0);
    EXPECT_EQ(settings_json(b), settings_json(fresh));

    // Too small a buffer: the length, and nothing written.
    char small[8] = "unused";
    EXPECT_EQ(vantorix_get_settings_json(a, small, sizeof small), static_cast<int>(odd.size()));
    EXPECT_STREQ(small, "unused");
    EXPECT_EQ(vantorix_get_settings_json(a, nullptr, 5), -1);
    EXPECT_EQ(vantorix_get_settings_json(nullptr, nullptr, 0), -1);
    EXPECT_EQ(vantorix_set_settings_json(a, nullptr), -1);
}

TEST(SettingsJson, RefusedDocumentsNameTheKeyAndChangeNothing) {
    struct Row {
        const char* document;
        const char* message;
    };
    const Row rows[] = {
        {"{\"vantorix\": 1, \"settings\": {", "not valid JSON (at byte 30)"},
        {"[1, 2]", "must be a JSON object"},
        {"{\"settings\": {}}", "\"vantorix\" (the format version) is missing"},
        {"{\"vantorix\": 2}", "\"vantorix\" is version 2, newer than this engine reads (1)"},
        {"{\"vantorix\": 1, \"edits\": {}}", "\"edits\" is not a known key"},
        // Valid keys sort before the faulty one: nothing of them may stick.
        {"{\"vantorix\": 1, \"settings\": {\"exposure\": 2, \"tint\": 3, \"zoom\": 1}}",
         "\"settings.zoom\" is not a known key"},
        {"{\"vantorix\": 1, \"settings\": {\"exposure\": \"high\"}}", "\"settings.exposure\" must be a number"},
        {"{\"vantorix\": 1, \"settings\": {\"contrast\": 1e39}}", "\"settings.contrast\" is beyond the range"},
        {"{\"vantorix\": 1, \"settings\": {\"flip_v\": 4294967296}}", "\"settings.flip_v\" must be a whole number"},
        {"{\"vantorix\": 1, \"settings\": {\"hsl\": [{}, {}]}}", "\"settings.hsl\" must list the 8 hue bands"},
        {"{\"vantorix\": 1, \"settings\": {\"hsl\": [{}, {}, {\"hue\": null}, {}, {}, {}, {}, {}]}}",
         "\"settings.hsl[2].hue\" must be a number"},
        {"{\"vantorix\": 1, \"settings\": {\"tone_curve\": {\"red\": [[0, 0]]}}}",
         "\"settings.tone_curve.red\" needs at least 2 points"},
        {"{\"vantorix\": 1, \"settings\": {\"tone_curve\": {\"blue\": [[0, 0], [1]]}}}",
         "\"settings.tone_curve.blue[1]\" must be a pair"},
    };
    Context ctx;
    set_everything(ctx);
    const std::string before = settings_json(ctx);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.document);
        EXPECT_EQ(vantorix_set_settings_json(ctx, row.document), -1);
        const std::string message = vantorix_last_error(ctx);
        EXPECT_EQ(message.rfind(std::string("settings document: ") + row.message, 0), 0u) << message;
        EXPECT_EQ(settings_json(ctx), before);
    }
}

}  // namespace
