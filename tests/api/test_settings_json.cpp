// The settings document: round trip to identical settings and pixels, and
// refused documents that leave every setting as it was.
#include <limits>

#include "support/test_support.h"

static std::string settings_json(EngineContext* ctx) {
    const int n = vantorix_get_settings_json(ctx, nullptr, 0);
    std::string doc(static_cast<size_t>(std::max(n, 0)) + 1, '\x7f');
    EXPECT_TRUE(vantorix_get_settings_json(ctx, &doc[0], n + 1) == n && doc.back() == '\0') << n << " bytes";
    return doc.substr(0, doc.size() - 1);
}

// Every setting away from its default; values chosen to need all nine digits,
// a subnormal, a negative zero and the extremes of the float range. Grain is
// negative: non-default, yet off, so pixels stay comparable.
static void set_everything(EngineContext* c) {
    void (*const scalars[])(EngineContext*, float) = {
        vantorix_set_exposure, vantorix_set_brightness, vantorix_set_contrast, vantorix_set_highlights,
        vantorix_set_shadows, vantorix_set_whites, vantorix_set_blacks, vantorix_set_temperature, vantorix_set_tint,
        vantorix_set_saturation, vantorix_set_vibrance, vantorix_set_sharpening_amount, vantorix_set_sharpening_radius,
        vantorix_set_sharpening_threshold, vantorix_set_nr_luminance, vantorix_set_nr_color, vantorix_set_clarity,
        vantorix_set_texture, vantorix_set_dehaze, vantorix_set_distortion, vantorix_set_ca_correction,
        vantorix_set_lens_vignette, vantorix_set_defringe, vantorix_set_rotation, vantorix_set_perspective_h,
        vantorix_set_perspective_v, vantorix_set_vignette_amount, vantorix_set_vignette_midpoint,
        vantorix_set_vignette_roundness, vantorix_set_grain_amount, vantorix_set_grain_size};
    const float values[] = {0.1f, 1.0f / 3.0f, 16777217.0f, -37.5f, 1e-40f, 12.3456789f, -0.0f, 7321.123f, -12.75f,
                            21.2f, -33.3f, 40.1f, 1.7f, 3.3f, 11.1f, 22.2f, 17.7f, -9.9f, 5.5f, 3.1f, 20.2f, 30.3f,
                            14.4f, 2.22f, 4.4f, -6.6f, -25.5f, 41.1f, 12.3f, -3.0f, 3.4028235e38f};
    static_assert(std::size(values) == std::size(scalars), "one value per setter");
    for (size_t i = 0; i < std::size(values); ++i) scalars[i](c, values[i]);
    vantorix_set_flip_h(c, 7);
    vantorix_set_flip_v(c, -1);
    vantorix_set_crop(c, 0.05f, 0.1f, 0.8f, 0.7f);
    for (int b = 0; b < 8; ++b) vantorix_set_hsl(c, b, b * 1.1f, -b * 2.3f, b * 0.7f);
    for (int r : {0, 1}) vantorix_set_split_toning(c, r, r ? 210.5f : 33.3f, r ? 14.2f : 21.1f, r ? 0.0f : 7.7f);
    for (int k = 0; k < 4; ++k)
        vantorix_set_tone_curve(c, k, std::vector<float>{0, 0.01f * k, 0.4f, 0.5f + 0.03f * k, 1, 0.99f}.data(), 3);
    vantorix_set_bg_blur(c, 33.3f);
}

TEST(SettingsJson, RoundTripIsExactAndRefusedDocumentsChangeNothing) {
    testsupport::Context a, b;
    for (EngineContext* c : {a.ctx, b.ctx})
        testsupport::load_image(c, testsupport::disc_image(64, 48, {32.0f, 24.0f}, 16.0f), "settings_json_photo.png");
    set_everything(a);
    const std::string doc = settings_json(a);
    ASSERT_EQ(vantorix_set_settings_json(b, doc.c_str()), 0) << vantorix_last_error(b);
    EXPECT_EQ(settings_json(b), doc);
    EXPECT_TRUE(testsupport::identical(testsupport::preview_of(a), testsupport::preview_of(b)));

    // Refused documents name the key and leave every setting as it was.
    const auto s = [](const std::string& settings) { return "{\"vantorix\": 1, \"settings\": {" + settings + "}}"; };
    const std::pair<std::string, std::string> rows[] = {
        {"{\"vantorix\": 1, \"settings\": {", "not valid JSON (at byte 30)"},
        {"[1, 2]", "must be a JSON object"},
        {"{\"settings\": {}}", "\"vantorix\" (the format version) is missing"},
        {"{\"vantorix\": 2}", "\"vantorix\" is version 2, newer than this engine reads (1)"},
        {"{\"vantorix\": 1, \"edits\": {}}", "\"edits\" is not a known key"},
        // Valid keys sort before the faulty one: nothing of them may stick.
        {s("\"exposure\": 2, \"tint\": 3, \"zoom\": 1"), "\"settings.zoom\" is not a known key"},
        {s("\"exposure\": \"high\""), "\"settings.exposure\" must be a number"},
        {s("\"contrast\": 1e39"), "\"settings.contrast\" is beyond the range"},
        {s("\"flip_v\": 4294967296"), "\"settings.flip_v\" must be a whole number"},
        {s("\"hsl\": [{}, {}]"), "\"settings.hsl\" must list the 8 hue bands"},
        {s("\"hsl\": [{}, {}, {\"hue\": null}, {}, {}, {}, {}, {}]"), "\"settings.hsl[2].hue\" must be a number"},
        {s("\"tone_curve\": {\"red\": [[0, 0]]}"), "\"settings.tone_curve.red\" needs at least 2 points"},
        {s("\"tone_curve\": {\"blue\": [[0, 0], [1]]}"), "\"settings.tone_curve.blue[1]\" must be a pair"},
    };
    for (const auto& [document, message] : rows) {
        EXPECT_EQ(vantorix_set_settings_json(b, document.c_str()), -1) << document;
        const std::string error = vantorix_last_error(b);
        EXPECT_EQ(error.rfind("settings document: " + message, 0), 0u) << error;
        EXPECT_EQ(settings_json(b), doc) << document;
    }

    // NaN and infinities travel as strings.
    vantorix_set_exposure(a, std::numeric_limits<float>::quiet_NaN());
    vantorix_set_tint(a, -std::numeric_limits<float>::infinity());
    const std::string odd = settings_json(a);
    for (const char* v : {"\"exposure\": \"NaN\"", "\"tint\": \"-Infinity\""}) EXPECT_NE(odd.find(v), odd.npos) << odd;
    ASSERT_EQ(vantorix_set_settings_json(b, odd.c_str()), 0) << vantorix_last_error(b);
    EXPECT_EQ(settings_json(b), odd);

    // A partial document is a preset: the rest goes back to the defaults.
    testsupport::Context fresh;
    vantorix_set_exposure(fresh, 0.5f);
    ASSERT_EQ(vantorix_set_settings_json(b, s("\"exposure\": 0.5").c_str()), 0);
    EXPECT_EQ(settings_json(b), settings_json(fresh));

    // Too small a buffer: the length, and nothing written; no buffer, context or document: refused.
    char small[8] = "unused";
    EXPECT_EQ((std::vector<int>{vantorix_get_settings_json(a, small, 8), vantorix_get_settings_json(a, nullptr, 5),
                   vantorix_get_settings_json(nullptr, nullptr, 0), vantorix_set_settings_json(a, nullptr)}),
              (std::vector<int>{static_cast<int>(odd.size()), -1, -1, -1}));
    EXPECT_STREQ(small, "unused");
}
