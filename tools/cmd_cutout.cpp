#include "commands.h"

namespace cli {

int cmd_cutout(const Args&) { return usage_error("command not available yet"); }

}  // namespace cli
