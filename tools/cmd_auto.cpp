#include "commands.h"

namespace cli {

int cmd_auto(const Args&) { return usage_error("command not available yet"); }

}  // namespace cli
