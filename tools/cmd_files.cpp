#include "commands.h"

namespace cli {

int cmd_info(const Args&) { return usage_error("command not available yet"); }

int cmd_thumb(const Args&) { return usage_error("command not available yet"); }

int cmd_phash(const Args&) { return usage_error("command not available yet"); }

int cmd_dupes(const Args&) { return usage_error("command not available yet"); }

}  // namespace cli
