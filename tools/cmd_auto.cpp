// `vantorix auto IN [--json]`: the proposals of every automatic tool.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "vantorix.h"

namespace cli {

namespace {

// Names of the first 19 slots of AutoEnhanceResult, in slot order.
const char* const kEnhanceNames[19] = {
    "exposure",       "brightness",     "contrast",          "highlights", "shadows",
    "whites",         "blacks",         "temperature",       "tint",       "saturation",
    "vibrance",       "sharpen_amount", "sharpen_radius",    "sharpen_threshold",
    "nr_luminance",   "nr_color",       "clarity",           "texture",    "dehaze"};

struct Proposals {
    float exposure = 0.0f;
    float temperature = 0.0f;
    float tint = 0.0f;
    AutoEnhanceResult enhance{};
    float angle = 0.0f;
    int level_status = 1;
    float level = 0.0f;
    float level_confidence = 0.0f;
    float crop[4] = {0.0f, 0.0f, 1.0f, 1.0f};
};

// Shortest text that reads back as the same float; "null" if not finite.
std::string number(float v) {
    if (!std::isfinite(v)) return "null";
    if (v == 0.0f) return "0";
    char buf[32];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v) break;
    }
    return buf;
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void print_json(const std::string& path, const Proposals& p) {
    std::string s = "{\"file\": " + json_string(path);
    s += ", \"exposure\": " + number(p.exposure);
    s += ", \"white_balance\": {\"temperature\": " + number(p.temperature) + ", \"tint\": " + number(p.tint) + "}";
    s += ", \"enhance\": {";
    for (int i = 0; i < 19; ++i) {
        if (i) s += ", ";
        s += std::string("\"") + kEnhanceNames[i] + "\": " + number(p.enhance.slots[i]);
    }
    s += "}, \"straighten\": " + number(p.angle);
    s += std::string(", \"level\": {\"status\": \"") + level_status_name(p.level_status) +
         "\", \"rotation\": " + number(p.level) + ", \"confidence\": " + number(p.level_confidence) + "}";
    s += ", \"crop\": {\"x\": " + number(p.crop[0]) + ", \"y\": " + number(p.crop[1]) + ", \"w\": " +
         number(p.crop[2]) + ", \"h\": " + number(p.crop[3]) + "}}\n";
    std::fputs(s.c_str(), stdout);
}

// Fixed decimals without trailing zeros ("0.25", "6500", "-0.4").
std::string rounded(float v, int decimals) {
    if (!std::isfinite(v)) return "nan";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, static_cast<double>(v));
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

void print_text(const std::string& path, const Proposals& p) {
    std::printf("%s\n", path.c_str());
    std::printf("  exposure       %s EV\n", rounded(p.exposure, 3).c_str());
    std::printf("  white balance  temperature %s K, tint %s\n", rounded(p.temperature, 0).c_str(),
                rounded(p.tint, 2).c_str());
    std::printf("  straighten     %s degrees\n", rounded(p.angle, 2).c_str());
    if (p.level_status == 0)
        std::printf("  level          %s degrees (confidence %s)\n", rounded(p.level, 2).c_str(),
                    rounded(p.level_confidence, 2).c_str());
    else
        std::printf("  level          declined: %s\n", level_status_name(p.level_status));
    std::printf("  crop           x %s, y %s, w %s, h %s\n", rounded(p.crop[0], 4).c_str(), rounded(p.crop[1], 4).c_str(),
                rounded(p.crop[2], 4).c_str(), rounded(p.crop[3], 4).c_str());
    std::printf("  enhance\n");
    for (int i = 0; i < 19; ++i) std::printf("    %-18s %s\n", kEnhanceNames[i], rounded(p.enhance.slots[i], 3).c_str());
}

}  // namespace

int cmd_auto(const Args& args) {
    bool json = false;
    std::string in, save_edit_path;
    int inputs = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--save-edit") {
            if (i + 1 >= args.size()) return usage_error("option --save-edit needs a value");
            save_edit_path = args[++i];
        } else if (a.size() >= 2 && a.compare(0, 2, "--") == 0) {
            return usage_error("unknown option " + a);
        } else {
            in = a;
            ++inputs;
        }
    }
    if (inputs != 1) return usage_error("auto needs one input file");

    EngineContext* ctx = vantorix_create_context();
    if (!ctx) {
        std::fprintf(stderr, "vantorix: could not create an engine context\n");
        return 1;
    }
    Proposals p;
    int status = 0;
    if (vantorix_load_arw(ctx, in.c_str(), 1) != 0)
        status = engine_error(ctx, "cannot load " + in);
    else if (vantorix_auto_exposure(ctx, &p.exposure) != 0)
        status = engine_error(ctx, "auto exposure failed");
    else if (vantorix_auto_white_balance(ctx, &p.temperature, &p.tint) != 0)
        status = engine_error(ctx, "auto white balance failed");
    else if (vantorix_auto_enhance(ctx, &p.enhance) != 0)
        status = engine_error(ctx, "auto enhance failed");
    else if (vantorix_auto_straighten(ctx, &p.angle) != 0)
        status = engine_error(ctx, "auto straighten failed");
    else if ((p.level_status = vantorix_auto_level(ctx, &p.level, &p.level_confidence)) < 0)
        status = engine_error(ctx, "auto level failed");
    else if (vantorix_auto_crop(ctx, &p.crop[0], &p.crop[1], &p.crop[2], &p.crop[3]) != 0)
        status = engine_error(ctx, "auto crop failed");
    if (status == 0 && !save_edit_path.empty()) {
        // The document `develop --auto --auto-straighten --auto-crop` would develop with.
        ParsedDevelop proposals;
        proposals.auto_enhance = proposals.auto_straighten = proposals.auto_crop = true;
        std::string error;
        if (!apply_develop_settings(ctx, proposals, error) || !save_edit(ctx, save_edit_path, error)) {
            std::fprintf(stderr, "vantorix: %s\n", error.c_str());
            status = 1;
        }
    }
    if (status == 0) {
        if (json)
            print_json(in, p);
        else
            print_text(in, p);
    }
    vantorix_destroy_context(ctx);
    return status;
}

}  // namespace cli
