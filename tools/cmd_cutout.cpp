// `cutout`: develops a photo, finds its subject and writes it as a PNG with
// the background transparent.
#include <cctype>
#include <cstdio>

#include "commands.h"
#include "vantorix.h"

namespace cli {

namespace {

bool ends_with_png(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

}  // namespace

int cmd_cutout(const Args& args) {
    ParsedDevelop p;
    std::string error;
    if (!parse_develop_args(args, p, error)) return usage_error(error);
    if (p.positional.size() != 2) return usage_error("cutout needs an input file and an output .png file");
    const std::string& in = p.positional[0];
    const std::string& out = p.positional[1];
    if (!ends_with_png(out)) return usage_error("cutout writes a PNG: the output name must end in .png");
    if (p.has_bg_blur) return usage_error("--bg-blur has no effect on a cut-out");
    if (!p.out_dir.empty() || p.has_batch_option || !p.save_edit_path.empty())
        return usage_error("--out-dir, --format, --jobs, --overwrite, --quiet and --save-edit are develop options");
    int status = 0;
    EngineContext* ctx = open_for_development(in, p, status);
    if (!ctx) return status;
    if (segment_subject(ctx, p) != 0) {
        status = engine_error(ctx, "segmentation failed");
    } else if (vantorix_export_subject_png(ctx, out.c_str()) != 0) {
        status = engine_error(ctx, "cannot write " + out);
    }
    vantorix_destroy_context(ctx);
    return status;
}

}  // namespace cli
