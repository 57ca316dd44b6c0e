#pragma once
// Subcommands of the command-line tool. Each returns the process exit status:
// 0 success, 1 the engine reported a failure, 2 a usage error.
#include <functional>
#include <string>
#include <vector>

struct EngineContext;

namespace cli {

using Args = std::vector<std::string>;

// The white balance the tool develops with unless --temperature is given:
// 6500 K leaves colours as they are.
constexpr float kNeutralTemperature = 6500.0f;

int cmd_develop(const Args& args);
int cmd_cutout(const Args& args);
int cmd_info(const Args& args);
int cmd_thumb(const Args& args);
int cmd_phash(const Args& args);
int cmd_dupes(const Args& args);
int cmd_auto(const Args& args);

void print_usage();
// Prints "vantorix: <message>" and the usage summary to stderr; returns 2.
int usage_error(const std::string& message);
// Prints "vantorix: <what>: <engine message>" to stderr; returns 1.
int engine_error(EngineContext* ctx, const std::string& what);

// Strict number parsing: the whole text must be a number.
bool parse_float(const std::string& text, float& out);
bool parse_int(const std::string& text, int& out);
// "a,b,c" into between min_count and max_count floats.
bool parse_float_list(const std::string& text, size_t min_count, size_t max_count, std::vector<float>& out);

// Development options shared by `develop` and `cutout`. Options not
// recognised here are returned to the caller in `rest`.
struct ParsedDevelop {
    std::vector<std::string> positional;
    int size_level = 1;
    int quality = 90;
    int png_bits = 8;
    bool keep_metadata = false;
    bool auto_enhance = false;
    bool auto_straighten = false;
    bool auto_crop = false;
    bool has_bg_blur = false;
    float bg_blur = 0.0f;
    bool has_center = false;
    float center_x = -1.0f;
    float center_y = -1.0f;
    bool has_box = false;
    float box[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<std::function<void(EngineContext*)>> setters;
    // --edit FILE: a settings document applied before everything else.
    std::string edit_path, edit_json;
    // --save-edit FILE: where the edit in force is written.
    std::string save_edit_path;
    // Batch development: --out-dir DIR [--format jpg|png|tif] [--jobs N] [--overwrite] [--quiet].
    std::string out_dir;
    std::string format = "jpg";
    bool has_batch_option = false;  // any of --format, --jobs, --overwrite, --quiet
    int jobs = 0;                   // 0: one worker per core
    bool overwrite = false;
    bool quiet = false;
};
// Parses args; returns false with `error` set on a malformed option.
bool parse_develop_args(const Args& args, ParsedDevelop& parsed, std::string& error);
// Applies the parsed settings to a loaded context: the --edit document first,
// then the automatic proposals, then the explicit settings. Returns false when
// the document is refused or an automatic tool fails.
bool apply_develop_settings(EngineContext* ctx, const ParsedDevelop& parsed, std::string& error);
// Finds the subject for a cut-out or the background blur: around --center
// when given, in --box when given, otherwise with the automatic seed. Returns
// the engine's status (0 success).
int segment_subject(EngineContext* ctx, const ParsedDevelop& parsed);
// Text for a positive status of vantorix_auto_level ("no evidence",
// "ambiguous", "out of range").
const char* level_status_name(int status);
// Creates a context, loads `input` and applies the parsed settings. On failure
// prints the message, sets `status` to 1 and returns null.
EngineContext* open_for_development(const std::string& input, const ParsedDevelop& parsed, int& status);
// Develops a loaded, configured context and writes `out` (format by its
// extension; the blurred preview when --bg-blur asks for it). False with a
// message in `error` on failure.
bool develop_and_write(EngineContext* ctx, const ParsedDevelop& parsed, const std::string& out, std::string& error);
// Writes the context's settings document to `path` (replaced whole or not at all).
bool save_edit(EngineContext* ctx, const std::string& path, std::string& error);
// `develop IN... --out-dir DIR`: many files, one context per worker.
int run_batch(const ParsedDevelop& parsed);

}  // namespace cli
