// The development settings as a small versioned JSON document: written by
// hand (fixed layout, shortest round-trip numbers), read with nlohmann::json.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/context.h"
#include "engine/guard.h"

namespace vantorix {

namespace {

using nlohmann::json;

constexpr int kFormatVersion = 1;

struct ScalarField {
    const char* key;
    float Adjustments::*field;
};

// The single-value settings, named as their setters are (vantorix_set_<key>).
const ScalarField kScalars[] = {
    {"exposure", &Adjustments::exposure},
    {"brightness", &Adjustments::brightness},
    {"contrast", &Adjustments::contrast},
    {"highlights", &Adjustments::highlights},
    {"shadows", &Adjustments::shadows},
    {"whites", &Adjustments::whites},
    {"blacks", &Adjustments::blacks},
    {"temperature", &Adjustments::temperature},
    {"tint", &Adjustments::tint},
    {"saturation", &Adjustments::saturation},
    {"vibrance", &Adjustments::vibrance},
    {"sharpening_amount", &Adjustments::sharpen_amount},
    {"sharpening_radius", &Adjustments::sharpen_radius},
    {"sharpening_threshold", &Adjustments::sharpen_threshold},
    {"nr_luminance", &Adjustments::nr_luminance},
    {"nr_color", &Adjustments::nr_color},
    {"clarity", &Adjustments::clarity},
    {"texture", &Adjustments::texture},
    {"dehaze", &Adjustments::dehaze},
    {"distortion", &Adjustments::distortion},
    {"ca_correction", &Adjustments::ca_correction},
    {"lens_vignette", &Adjustments::lens_vignette},
    {"defringe", &Adjustments::defringe},
    {"rotation", &Adjustments::rotation},
    {"perspective_h", &Adjustments::perspective_h},
    {"perspective_v", &Adjustments::perspective_v},
    {"vignette_amount", &Adjustments::vignette_amount},
    {"vignette_midpoint", &Adjustments::vignette_midpoint},
    {"vignette_roundness", &Adjustments::vignette_roundness},
    {"grain_amount", &Adjustments::grain_amount},
    {"grain_size", &Adjustments::grain_size},
};

struct IntField {
    const char* key;
    int Adjustments::*field;
};
const IntField kInts[] = {{"flip_h", &Adjustments::flip_h}, {"flip_v", &Adjustments::flip_v}};

const char* const kCurveNames[4] = {"master", "red", "green", "blue"};
const char* const kCropKeys[4] = {"x", "y", "w", "h"};
float CropRect::*const kCropFields[4] = {&CropRect::x, &CropRect::y, &CropRect::w, &CropRect::h};
const char* const kHslKeys[3] = {"hue", "saturation", "luminance"};
float HslBand::*const kHslFields[3] = {&HslBand::hue, &HslBand::saturation, &HslBand::luminance};
struct SplitField {
    const char* key;
    float Adjustments::*field;
};
const SplitField kSplit[] = {
    {"highlight_hue", &Adjustments::split_highlight_hue},
    {"highlight_saturation", &Adjustments::split_highlight_saturation},
    {"shadow_hue", &Adjustments::split_shadow_hue},
    {"shadow_saturation", &Adjustments::split_shadow_saturation},
    {"balance", &Adjustments::split_balance},
};

// ---- writing ------------------------------------------------------------------

// The shortest text that reads back as the same float, both directly and
// through a double (as JSON readers do); not locale dependent. Values JSON
// cannot hold are written as the strings "NaN", "Infinity", "-Infinity".
std::string number_text(float v) {
    if (std::isnan(v)) return "\"NaN\"";
    if (std::isinf(v)) return v > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    if (v == 0.0f) return std::signbit(v) ? "-0.0" : "0";
    char buf[48];
    auto shortest = std::to_chars(buf, buf + sizeof buf, v);
    double back = 0.0;
    std::from_chars(buf, shortest.ptr, back);
    if (static_cast<float>(back) == v) return std::string(buf, shortest.ptr);
    // Nine significant digits always survive the detour through a double.
    auto nine = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 9);
    return std::string(buf, nine.ptr);
}


// ---- reading ------------------------------------------------------------------

struct Fault {
    std::string message;
};

[[noreturn]] void fault(const std::string& key, const std::string& what) {
    throw Fault{"settings document: \"" + key + "\" " + what};
}

float read_float(const json& v, const std::string& key) {
    if (v.is_number_integer()) return v.is_number_unsigned() ? static_cast<float>(v.get<uint64_t>())
                                                             : static_cast<float>(v.get<int64_t>());
    if (v.is_number_float()) {
        const double d = v.get<double>();
        // Below 2^128 - 2^103 a double rounds to a finite float.
        if (!std::isfinite(d) || std::fabs(d) >= 0x1.ffffffp+127) fault(key, "is beyond the range of a float");
        return static_cast<float>(d);
    }
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (s == "NaN") return std::numeric_limits<float>::quiet_NaN();
        if (s == "Infinity") return std::numeric_limits<float>::infinity();
        if (s == "-Infinity") return -std::numeric_limits<float>::infinity();
    }
    fault(key, "must be a number (or \"NaN\", \"Infinity\", \"-Infinity\")");
}

const json& require_object(const json& v, const std::string& key) {
    if (!v.is_object()) fault(key, "must be an object");
    return v;
}

const json& require_array(const json& v, const std::string& key) {
    if (!v.is_array()) fault(key, "must be an array");
    return v;
}

void read_curve(const json& v, const std::string& key, ToneCurve& curve) {
    require_array(v, key);
    if (v.size() < 2) fault(key, "needs at least 2 points");
    ToneCurve points;
    points.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string pkey = key + "[" + std::to_string(i) + "]";
        if (!v[i].is_array() || v[i].size() != 2) fault(pkey, "must be a pair [x, y]");
        points.push_back({read_float(v[i][0], pkey + "[0]"), read_float(v[i][1], pkey + "[1]")});
    }
    curve = std::move(points);
}

void read_settings(const json& s, Adjustments& a, float& bg_blur) {
    require_object(s, "settings");
    for (auto it = s.begin(); it != s.end(); ++it) {
        const std::string& name = it.key();
        const std::string key = "settings." + name;
        const json& v = it.value();
        bool known = false;
        for (const ScalarField& f : kScalars)
            if (name == f.key) {
                a.*f.field = read_float(v, key);
                known = true;
            }
        for (const IntField& f : kInts)
            if (name == f.key) {
                if (!v.is_number_integer() || (v.is_number_unsigned() && v.get<uint64_t>() > INT32_MAX) ||
                    (!v.is_number_unsigned() && (v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX)))
                    fault(key, "must be a whole number (0: no flip)");
                a.*f.field = static_cast<int>(v.get<int64_t>());
                known = true;
            }
        if (known) continue;
        if (name == "crop") {
            require_object(v, key);
            for (auto c = v.begin(); c != v.end(); ++c) {
                int i = 0;
                while (i < 4 && c.key() != kCropKeys[i]) ++i;
                if (i == 4) fault(key + "." + c.key(), "is not a known key");
                a.crop.*kCropFields[i] = read_float(c.value(), key + "." + c.key());
            }
        } else if (name == "split_toning") {
            require_object(v, key);
            for (auto c = v.begin(); c != v.end(); ++c) {
                size_t i = 0;
                while (i < sizeof kSplit / sizeof kSplit[0] && c.key() != kSplit[i].key) ++i;
                if (i == sizeof kSplit / sizeof kSplit[0]) fault(key + "." + c.key(), "is not a known key");
                a.*kSplit[i].field = read_float(c.value(), key + "." + c.key());
            }
        } else if (name == "hsl") {
            require_array(v, key);
            if (v.size() != 8) fault(key, "must list the 8 hue bands (red .. magenta)");
            for (size_t b = 0; b < 8; ++b) {
                const std::string bkey = key + "[" + std::to_string(b) + "]";
                require_object(v[b], bkey);
                for (auto c = v[b].begin(); c != v[b].end(); ++c) {
                    int i = 0;
                    while (i < 3 && c.key() != kHslKeys[i]) ++i;
                    if (i == 3) fault(bkey + "." + c.key(), "is not a known key");
                    a.hsl[b].*kHslFields[i] = read_float(c.value(), bkey + "." + c.key());
                }
            }
        } else if (name == "tone_curve") {
            require_object(v, key);
            for (auto c = v.begin(); c != v.end(); ++c) {
                int i = 0;
                while (i < 4 && c.key() != kCurveNames[i]) ++i;
                if (i == 4) fault(key + "." + c.key(), "is not a known key");
                read_curve(c.value(), key + "." + c.key(), a.tone_curves[i]);
            }
        } else if (name == "bg_blur") {
            const float amount = read_float(v, key);
            bg_blur = std::isnan(amount) ? 100.0f : std::max(std::min(amount, 100.0f), 0.0f);
        } else {
            fault(key, "is not a known key");
        }
    }
}

// Reads a whole document into `a` and `bg_blur` (defaults first); throws Fault.
void read_document(const char* text, Adjustments& a, float& bg_blur) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        throw Fault{"settings document: not valid JSON (at byte " + std::to_string(e.byte) + ")"};
    }
    if (!doc.is_object()) throw Fault{"settings document: must be a JSON object"};
    const auto version = doc.find("vantorix");
    if (version == doc.end()) fault("vantorix", "(the format version) is missing");
    if (!version->is_number_integer() || (!version->is_number_unsigned() && version->get<int64_t>() < 1))
        fault("vantorix", "must be a format version number (1)");
    if (version->get<uint64_t>() > static_cast<uint64_t>(kFormatVersion))
        fault("vantorix", "is version " + std::to_string(version->get<uint64_t>()) +
                              ", newer than this engine reads (" + std::to_string(kFormatVersion) + ")");
    for (auto it = doc.begin(); it != doc.end(); ++it)
        if (it.key() != "vantorix" && it.key() != "settings") fault(it.key(), "is not a known key");
    a = Adjustments();
    bg_blur = 0.0f;
    const auto settings = doc.find("settings");
    if (settings != doc.end()) read_settings(*settings, a, bg_blur);
}

}  // namespace

std::string write_document(const Adjustments& a, float bg_blur) {
    std::string o = "{\n  \"vantorix\": 1,\n  \"settings\": {\n";
    auto line = [&](const std::string& key, const std::string& value) {
        o += "    \"" + key + "\": " + value + ",\n";
    };
    for (const ScalarField& f : kScalars) line(f.key, number_text(a.*f.field));
    for (const IntField& f : kInts) line(f.key, std::to_string(a.*f.field));
    std::string crop = "{";
    for (int i = 0; i < 4; ++i)
        crop += std::string(i ? ", \"" : "\"") + kCropKeys[i] + "\": " + number_text(a.crop.*kCropFields[i]);
    line("crop", crop + "}");
    std::string split = "{";
    for (size_t i = 0; i < sizeof kSplit / sizeof kSplit[0]; ++i)
        split += std::string(i ? ", \"" : "\"") + kSplit[i].key + "\": " + number_text(a.*kSplit[i].field);
    line("split_toning", split + "}");
    o += "    \"hsl\": [\n";
    for (int b = 0; b < 8; ++b) {
        o += "      {";
        for (int k = 0; k < 3; ++k)
            o += std::string(k ? ", \"" : "\"") + kHslKeys[k] + "\": " + number_text(a.hsl[b].*kHslFields[k]);
        o += b < 7 ? "},\n" : "}\n";
    }
    o += "    ],\n    \"tone_curve\": {\n";
    for (int c = 0; c < 4; ++c) {
        o += std::string("      \"") + kCurveNames[c] + "\": [";
        for (size_t i = 0; i < a.tone_curves[c].size(); ++i) {
            const CurvePoint& p = a.tone_curves[c][i];
            o += (i ? ", [" : "[") + number_text(p.x) + ", " + number_text(p.y) + "]";
        }
        o += c < 3 ? "],\n" : "]\n";
    }
    o += "    },\n    \"bg_blur\": " + number_text(bg_blur) + "\n  }\n}\n";
    return o;
}

std::string settings_fingerprint(const Adjustments& a) { return write_document(a, 0.0f); }

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_get_settings_json(EngineContext* ctx, char* buf, int capacity) {
    if (!ctx || capacity < 0 || (!buf && capacity > 0)) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        const std::string doc = vantorix::write_document(ctx->adjustments, ctx->bg_blur);
        if (doc.size() > static_cast<size_t>(INT32_MAX - 1)) {
            ctx->fail("settings document too large");
            return -1;
        }
        const int length = static_cast<int>(doc.size());
        if (capacity > length) std::memcpy(buf, doc.c_str(), doc.size() + 1);
        return length;
    });
}

VANTORIX_API int vantorix_set_settings_json(EngineContext* ctx, const char* json) {
    if (!ctx || !json) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        vantorix::Adjustments a;
        float bg_blur = 0.0f;
        try {
            vantorix::read_document(json, a, bg_blur);
        } catch (const vantorix::Fault& f) {
            ctx->fail(f.message);
            return -1;
        }
        ctx->adjustments = std::move(a);
        ctx->bg_blur = bg_blur;
        return 0;
    });
}

}  // extern "C"
