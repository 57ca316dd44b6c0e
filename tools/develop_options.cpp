// Parsing of the development options and the `develop` subcommand.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "commands.h"
#include "vantorix.h"

namespace cli {

bool parse_float(const std::string& text, float& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    // Tiny values that underflow to a subnormal or zero are still values.
    if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool parse_int(const std::string& text, int& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

bool parse_float_list(const std::string& text, size_t min_count, size_t max_count, std::vector<float>& out) {
    out.clear();
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        float v;
        if (!parse_float(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v))
            return false;
        out.push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out.size() >= min_count && out.size() <= max_count;
}

namespace {

using Setter = void (*)(EngineContext*, float);

const std::map<std::string, Setter>& scalar_options() {
    static const std::map<std::string, Setter> table = {
        {"--brightness", vantorix_set_brightness},   {"--contrast", vantorix_set_contrast},
        {"--exposure", vantorix_set_exposure},       {"--highlights", vantorix_set_highlights},
        {"--shadows", vantorix_set_shadows},         {"--whites", vantorix_set_whites},
        {"--blacks", vantorix_set_blacks},           {"--temperature", vantorix_set_temperature},
        {"--tint", vantorix_set_tint},               {"--saturation", vantorix_set_saturation},
        {"--vibrance", vantorix_set_vibrance},       {"--clarity", vantorix_set_clarity},
        {"--texture", vantorix_set_texture},         {"--dehaze", vantorix_set_dehaze},
        {"--nr-luminance", vantorix_set_nr_luminance}, {"--nr-color", vantorix_set_nr_color},
        {"--distortion", vantorix_set_distortion},   {"--ca", vantorix_set_ca_correction},
        {"--lens-vignette", vantorix_set_lens_vignette}, {"--defringe", vantorix_set_defringe},
        {"--rotate", vantorix_set_rotation},         {"--perspective-h", vantorix_set_perspective_h},
        {"--perspective-v", vantorix_set_perspective_v},
    };
    return table;
}

const char* const kBandNames[] = {"red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta"};

bool parse_band(const std::string& text, int& band) {
    for (int i = 0; i < 8; ++i)
        if (text == kBandNames[i]) {
            band = i;
            return true;
        }
    return parse_int(text, band) && band >= 0 && band <= 7;
}

bool parse_curve(const std::string& text, int& channel, std::vector<float>& points) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string name = text.substr(0, colon);
    static const char* const kChannels[] = {"master", "red", "green", "blue"};
    channel = -1;
    for (int i = 0; i < 4; ++i)
        if (name == kChannels[i]) channel = i;
    if (channel < 0) return false;
    points.clear();
    size_t start = colon + 1;
    while (start <= text.size()) {
        const size_t semi = text.find(';', start);
        std::vector<float> xy;
        if (!parse_float_list(text.substr(start, semi == std::string::npos ? std::string::npos : semi - start), 2, 2,
                              xy))
            return false;
        points.insert(points.end(), xy.begin(), xy.end());
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return points.size() >= 4;
}

}  // namespace

namespace {

// The split-toning options gather into one pair of calls made after parsing.
struct SplitToning {
    bool hi = false, sh = false, bal = false;
    float hh = 0, hs = 0, shh = 0, shs = 0, b = 0;
};

// The result of looking at one option: not this group's, taken, or a bad value.
enum class Parsed { not_mine, ok, bad };

// Flags without a value.
bool parse_flag(const std::string& a, ParsedDevelop& p) {
    if (a == "--flip-h") p.setters.push_back([](EngineContext* c) { vantorix_set_flip_h(c, 1); });
    else if (a == "--flip-v") p.setters.push_back([](EngineContext* c) { vantorix_set_flip_v(c, 1); });
    else if (a == "--keep-metadata") p.keep_metadata = true;
    else if (a == "--auto") p.auto_enhance = true;
    else if (a == "--auto-straighten") p.auto_straighten = true;
    else if (a == "--auto-crop") p.auto_crop = true;
    else if (a == "--overwrite") p.overwrite = p.has_batch_option = true;
    else if (a == "--quiet") p.quiet = p.has_batch_option = true;
    else return false;
    return true;
}

// Options of the output and of the tool itself, not development settings.
Parsed parse_output_option(const std::string& a, const std::string& v, ParsedDevelop& p) {
    std::vector<float> f;
    bool ok;
    if (a == "--quality") {
        ok = parse_int(v, p.quality);
    } else if (a == "--size-level") {
        ok = parse_int(v, p.size_level);
    } else if (a == "--bits") {
        ok = parse_int(v, p.png_bits) && (p.png_bits == 8 || p.png_bits == 16);
    } else if (a == "--bg-blur") {
        ok = parse_float(v, p.bg_blur);
        p.has_bg_blur = true;
    } else if (a == "--center") {
        ok = parse_float_list(v, 2, 2, f);
        if (ok) {
            p.has_center = true;
            p.center_x = f[0];
            p.center_y = f[1];
        }
    } else if (a == "--edit") {
        std::ifstream in(v, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        ok = in && !in.bad();
        p.edit_path = v;
        p.edit_json = text.str();
    } else if (a == "--save-edit") {
        p.save_edit_path = v;
        ok = true;
    } else if (a == "--out-dir") {
        p.out_dir = v;
        ok = true;
    } else if (a == "--format") {
        ok = v == "jpg" || v == "jpeg" || v == "png" || v == "tif" || v == "tiff";
        if (ok) p.format = v == "jpeg" ? "jpg" : v == "tiff" ? "tif" : v;
        p.has_batch_option = true;
    } else if (a == "--jobs") {
        ok = parse_int(v, p.jobs) && p.jobs >= 1;
        p.has_batch_option = true;
    } else if (a == "--box") {
        ok = parse_float_list(v, 4, 4, f);
        if (ok) {
            p.has_box = true;
            std::copy(f.begin(), f.end(), p.box);
        }
    } else {
        return Parsed::not_mine;
    }
    return ok ? Parsed::ok : Parsed::bad;
}

// Settings with one number (the table above).
Parsed parse_scalar_option(const std::string& a, const std::string& v, ParsedDevelop& p) {
    const auto scalar = scalar_options().find(a);
    if (scalar == scalar_options().end()) return Parsed::not_mine;
    float x;
    if (!parse_float(v, x)) return Parsed::bad;
    const Setter s = scalar->second;
    p.setters.push_back([s, x](EngineContext* c) { s(c, x); });
    return Parsed::ok;
}

// Settings given as a list of numbers, a curve or a band.
Parsed parse_compound_option(const std::string& a, const std::string& v, ParsedDevelop& p) {
    std::vector<float> f;
    if (a == "--sharpen") {
        if (!parse_float_list(v, 1, 3, f)) return Parsed::bad;
        // Omitted parts take the engine's defaults (radius 1, threshold 0),
        // also after --auto, whose proposal leaves the radius at 0.
        p.setters.push_back([f](EngineContext* c) {
            vantorix_set_sharpening_amount(c, f[0]);
            vantorix_set_sharpening_radius(c, f.size() > 1 ? f[1] : 1.0f);
            vantorix_set_sharpening_threshold(c, f.size() > 2 ? f[2] : 0.0f);
        });
    } else if (a == "--crop") {
        if (!parse_float_list(v, 4, 4, f)) return Parsed::bad;
        p.setters.push_back([f](EngineContext* c) { vantorix_set_crop(c, f[0], f[1], f[2], f[3]); });
    } else if (a == "--vignette") {
        if (!parse_float_list(v, 1, 3, f)) return Parsed::bad;
        p.setters.push_back([f](EngineContext* c) {
            vantorix_set_vignette_amount(c, f[0]);
            if (f.size() > 1) vantorix_set_vignette_midpoint(c, f[1]);
            if (f.size() > 2) vantorix_set_vignette_roundness(c, f[2]);
        });
    } else if (a == "--grain") {
        if (!parse_float_list(v, 1, 2, f)) return Parsed::bad;
        p.setters.push_back([f](EngineContext* c) {
            vantorix_set_grain_amount(c, f[0]);
            if (f.size() > 1) vantorix_set_grain_size(c, f[1]);
        });
    } else if (a == "--curve") {
        int channel;
        std::vector<float> pts;
        if (!parse_curve(v, channel, pts)) return Parsed::bad;
        p.setters.push_back([channel, pts](EngineContext* c) {
            vantorix_set_tone_curve(c, channel, pts.data(), static_cast<int>(pts.size() / 2));
        });
    } else if (a == "--hsl") {
        const size_t colon = v.find(':');
        int band;
        if (colon == std::string::npos || !parse_band(v.substr(0, colon), band) ||
            !parse_float_list(v.substr(colon + 1), 3, 3, f))
            return Parsed::bad;
        p.setters.push_back([band, f](EngineContext* c) { vantorix_set_hsl(c, band, f[0], f[1], f[2]); });
    } else {
        return Parsed::not_mine;
    }
    return Parsed::ok;
}

Parsed parse_split_option(const std::string& a, const std::string& v, SplitToning& split) {
    std::vector<float> f;
    if (a == "--split-highlights") {
        if (!parse_float_list(v, 2, 2, f)) return Parsed::bad;
        split.hi = true;
        split.hh = f[0];
        split.hs = f[1];
    } else if (a == "--split-shadows") {
        if (!parse_float_list(v, 2, 2, f)) return Parsed::bad;
        split.sh = true;
        split.shh = f[0];
        split.shs = f[1];
    } else if (a == "--split-balance") {
        if (!parse_float(v, split.b)) return Parsed::bad;
        split.bal = true;
    } else {
        return Parsed::not_mine;
    }
    return Parsed::ok;
}

void add_split_toning(ParsedDevelop& p, const SplitToning& split) {
    if (!split.hi && !split.sh && !split.bal) return;
    p.setters.push_back([split](EngineContext* c) {
        if (split.hi || split.bal)
            vantorix_set_split_toning(c, VANTORIX_SPLIT_HIGHLIGHTS, split.hh, split.hs, split.b);
        if (split.sh) vantorix_set_split_toning(c, VANTORIX_SPLIT_SHADOWS, split.shh, split.shs, 0.0f);
    });
}

}  // namespace

bool parse_develop_args(const Args& args, ParsedDevelop& p, std::string& error) {
    SplitToning split;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
            p.positional.push_back(a);
            continue;
        }
        if (parse_flag(a, p)) continue;
        if (i + 1 >= args.size()) {
            error = "option " + a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        Parsed r = parse_scalar_option(a, v, p);
        if (r == Parsed::not_mine) r = parse_output_option(a, v, p);
        if (r == Parsed::not_mine) r = parse_compound_option(a, v, p);
        if (r == Parsed::not_mine) r = parse_split_option(a, v, split);
        if (r == Parsed::not_mine) {
            error = "unknown option " + a;
            return false;
        }
        if (r == Parsed::bad) {
            error = "bad value for " + a + ": '" + v + "'";
            return false;
        }
    }
    if (p.has_center && p.has_box) {
        error = "--center and --box cannot be used together";
        return false;
    }
    add_split_toning(p, split);
    return true;
}

bool apply_develop_settings(EngineContext* ctx, const ParsedDevelop& p, std::string& error) {
    // The tool develops neutrally unless asked otherwise: 6500 K is the
    // white balance that leaves colours as they are (the library's own
    // default, 5500 K, warms the picture). An --edit document that names a
    // temperature, --temperature and --auto override it.
    if (!p.edit_path.empty()) {
        if (vantorix_set_settings_json(ctx, p.edit_json.c_str()) != 0) {
            error = "edit " + p.edit_path + ": " + vantorix_last_error(ctx);
            return false;
        }
        if (p.edit_json.find("\"temperature\"") == std::string::npos) vantorix_set_temperature(ctx, kNeutralTemperature);
    } else {
        vantorix_set_temperature(ctx, kNeutralTemperature);
    }
    if (p.auto_enhance) {
        AutoEnhanceResult r{};
        if (vantorix_auto_enhance(ctx, &r) != 0) {
            error = std::string("auto enhance failed: ") + vantorix_last_error(ctx);
            return false;
        }
        Setter slots[] = {vantorix_set_exposure,          vantorix_set_brightness,
                          vantorix_set_contrast,          vantorix_set_highlights,
                          vantorix_set_shadows,           vantorix_set_whites,
                          vantorix_set_blacks,            vantorix_set_temperature,
                          vantorix_set_tint,              vantorix_set_saturation,
                          vantorix_set_vibrance,          vantorix_set_sharpening_amount,
                          vantorix_set_sharpening_radius, vantorix_set_sharpening_threshold,
                          vantorix_set_nr_luminance,      vantorix_set_nr_color,
                          vantorix_set_clarity,           vantorix_set_texture,
                          vantorix_set_dehaze};
        static_assert(sizeof slots / sizeof slots[0] == VANTORIX_SLOT_COUNT, "one setter per slot");
        for (int i = 0; i < VANTORIX_SLOT_COUNT; ++i) slots[i](ctx, r.slots[i]);
    }
    if (p.auto_straighten) {
        float angle = 0.0f, confidence = 0.0f;
        const int level = vantorix_auto_level(ctx, &angle, &confidence);
        if (level < 0) {
            error = std::string("auto straighten failed: ") + vantorix_last_error(ctx);
            return false;
        }
        if (level == 0)
            vantorix_set_rotation(ctx, angle);
        else
            std::fprintf(stderr, "vantorix: auto straighten declined (%s); the rotation stays as it was\n",
                         level_status_name(level));
    }
    if (p.auto_crop) {
        float x, y, w, h;
        if (vantorix_auto_crop(ctx, &x, &y, &w, &h) != 0) {
            error = std::string("auto crop failed: ") + vantorix_last_error(ctx);
            return false;
        }
        vantorix_set_crop(ctx, x, y, w, h);
    }
    for (const auto& s : p.setters) s(ctx);
    return true;
}

namespace {

std::string lower_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string engine_message(EngineContext* ctx, const std::string& what) {
    return what + ": " + vantorix_last_error(ctx);
}

// Writes the preview (with the background blurred behind the subject).
bool write_blurred_preview(EngineContext* ctx, const ParsedDevelop& p, const std::string& out, std::string& error) {
    if (segment_subject(ctx, p) != 0) {
        error = engine_message(ctx, "segmentation failed");
        return false;
    }
    vantorix_set_bg_blur(ctx, p.bg_blur);
    const std::string ext = lower_extension(out);
    const int bits = ext == ".tif" || ext == ".tiff" ? 16 : p.png_bits;
    if (vantorix_export_preview(ctx, out.c_str(), p.quality, bits) != 0) {
        error = engine_message(ctx, "cannot write " + out);
        return false;
    }
    return true;
}

}  // namespace

int segment_subject(EngineContext* ctx, const ParsedDevelop& p) {
    if (p.has_center) return vantorix_segment_subject(ctx, p.center_x, p.center_y);
    if (p.has_box) return vantorix_segment_subject_box(ctx, p.box[0], p.box[1], p.box[2], p.box[3]);
    return vantorix_segment_subject_auto(ctx);
}

const char* level_status_name(int status) {
    switch (status) {
        case 0: return "ok";
        case 1: return "no evidence";
        case 2: return "ambiguous";
        case 3: return "out of range";
        default: return "unknown";
    }
}

EngineContext* open_for_development(const std::string& input, const ParsedDevelop& p, int& status) {
    status = 1;
    EngineContext* ctx = vantorix_create_context();
    if (!ctx) {
        std::fprintf(stderr, "vantorix: could not create an engine context\n");
        return nullptr;
    }
    std::string error;
    if (vantorix_load_arw(ctx, input.c_str(), p.size_level) != 0) {
        engine_error(ctx, "cannot load " + input);
    } else if (!apply_develop_settings(ctx, p, error)) {
        std::fprintf(stderr, "vantorix: %s\n", error.c_str());
    } else {
        status = 0;
        return ctx;
    }
    vantorix_destroy_context(ctx);
    return nullptr;
}

bool develop_and_write(EngineContext* ctx, const ParsedDevelop& p, const std::string& out, std::string& error) {
    if (p.has_bg_blur && p.bg_blur > 0.0f) return write_blurred_preview(ctx, p, out, error);
    if (vantorix_process(ctx) != 0) {
        error = engine_message(ctx, "development failed");
        return false;
    }
    const std::string ext = lower_extension(out);
    int r;
    if (ext == ".png")
        r = vantorix_export_png(ctx, out.c_str(), p.png_bits);
    else if (ext == ".tif" || ext == ".tiff")
        r = vantorix_export_tiff(ctx, out.c_str());
    else
        r = vantorix_export_jpeg(ctx, out.c_str(), p.quality, 0, p.keep_metadata ? 1 : 0);
    if (r != 0) {
        error = engine_message(ctx, "cannot write " + out);
        return false;
    }
    return true;
}

bool save_edit(EngineContext* ctx, const std::string& path, std::string& error) {
    const int n = vantorix_get_settings_json(ctx, nullptr, 0);
    std::string doc(n > 0 ? static_cast<size_t>(n) + 1 : 0, '\0');
    if (n <= 0 || vantorix_get_settings_json(ctx, &doc[0], n + 1) != n) {
        error = engine_message(ctx, "cannot describe the edit");
        return false;
    }
    doc.resize(static_cast<size_t>(n));
    // Written beside the target and renamed over it: never half a document.
    const std::string tmp = path + ".tmp" + std::to_string(static_cast<long>(::getpid()));
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(doc.data(), 1, doc.size(), f) == doc.size();
    const int err = errno;
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = ok ? errno : err;
        if (f) std::remove(tmp.c_str());
        error = "cannot write the edit " + path + ": " + std::strerror(e);
        return false;
    }
    return true;
}

int cmd_develop(const Args& args) {
    ParsedDevelop p;
    std::string error;
    if (!parse_develop_args(args, p, error)) return usage_error(error);
    if (!p.out_dir.empty()) {
        if (p.positional.empty()) return usage_error("develop --out-dir needs at least one input file");
        if (!p.save_edit_path.empty()) return usage_error("--save-edit takes a single input, not --out-dir");
        return run_batch(p);
    }
    if (p.has_batch_option) return usage_error("--format, --jobs, --overwrite and --quiet go with --out-dir");
    if (p.positional.size() != 2) return usage_error("develop needs an input and an output file");
    const std::string& in = p.positional[0];
    const std::string& out = p.positional[1];
    int status = 0;
    EngineContext* ctx = open_for_development(in, p, status);
    if (!ctx) return status;
    if (!develop_and_write(ctx, p, out, error) ||
        (!p.save_edit_path.empty() && !save_edit(ctx, p.save_edit_path, error))) {
        std::fprintf(stderr, "vantorix: %s\n", error.c_str());
        status = 1;
    }
    vantorix_destroy_context(ctx);
    return status;
}

}  // namespace cli
