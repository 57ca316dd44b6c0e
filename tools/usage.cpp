// Usage text and the two ways a subcommand reports failure.
#include <cstdio>

#include "commands.h"
#include "vantorix.h"

namespace cli {

void print_usage() {
    std::fputs(
        "usage:\n"
        "  vantorix develop IN OUT [options]      develop a photo; OUT's extension picks JPEG, PNG or TIFF\n"
        "  vantorix develop IN... --out-dir DIR [--format jpg|png|tif] [--jobs N] [--overwrite] [--quiet] [options]\n"
        "                                         develop many photos, DIR/<name>.<format> each\n"
        "  vantorix cutout IN OUT.png [--center X,Y | --box X,Y,W,H] [options]\n"
        "  vantorix info FILE... [--json]         shooting data\n"
        "  vantorix thumb IN OUT.jpg              small JPEG thumbnail\n"
        "  vantorix phash FILE...                 64-bit perceptual hashes (hex)\n"
        "  vantorix dupes DIR [--max-distance D]  groups of near-duplicate images\n"
        "  vantorix auto IN [--json] [--save-edit EDIT.json]  proposals of the automatic tools\n"
        "  vantorix version\n"
        "\n"
        "develop options:\n"
        "  --size-level L (RAW: 1 full .. 4 quarter)  --quality Q  --bits 8|16 (PNG)  --keep-metadata\n"
        "  --exposure EV  --brightness N  --contrast N  --highlights N  --shadows N  --whites N  --blacks N\n"
        "  --temperature K (default 6500, neutral: no options give the picture back as it is)\n"
        "  --tint N  --saturation N  --vibrance N\n"
        "  --curve CH:x,y;x,y;...  (CH master|red|green|blue)\n"
        "  --hsl BAND:hue,sat,lum  (BAND 0..7 or red|orange|yellow|green|aqua|blue|purple|magenta)\n"
        "  --split-highlights HUE,SAT  --split-shadows HUE,SAT  --split-balance N\n"
        "  --clarity N  --texture N  --dehaze N  --nr-luminance N  --nr-color N\n"
        "  --sharpen AMOUNT[,RADIUS[,THRESHOLD]]\n"
        "  --distortion N  --ca N  --lens-vignette N  --defringe N\n"
        "  --flip-h  --flip-v  --rotate DEG  --perspective-h N  --perspective-v N  --crop X,Y,W,H\n"
        "  --vignette AMOUNT[,MIDPOINT[,ROUNDNESS]]  --grain AMOUNT[,SIZE]\n"
        "  --auto  --auto-straighten  --auto-crop  --bg-blur N [--center X,Y | --box X,Y,W,H]\n"
        "  --edit EDIT.json (settings document, applied first)  --save-edit EDIT.json (the edit in force)\n",
        stderr);
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "vantorix: %s\n", message.c_str());
    print_usage();
    return 2;
}

int engine_error(EngineContext* ctx, const std::string& what) {
    std::fprintf(stderr, "vantorix: %s: %s\n", what.c_str(), vantorix_last_error(ctx));
    return 1;
}

}  // namespace cli
