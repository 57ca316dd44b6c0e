#include "io/module_path.h"

#include <dlfcn.h>

namespace vantorix {

std::vector<std::string> module_candidates(const char* name) {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&module_candidates), &info) && info.dli_fname) {
        const std::string self = info.dli_fname;
        const auto slash = self.find_last_of('/');
        if (slash != std::string::npos) return {self.substr(0, slash + 1) + name, name};
    }
    return {name};
}

}  // namespace vantorix
