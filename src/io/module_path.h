#pragma once
// Where the library's private modules are: in the folder of the shared object
// that holds this code (the build tree, or the installed library folder).
#include <string>
#include <vector>

namespace vantorix {

// The paths to try for the module file `name`, in order: the one beside this
// shared object, then the bare name for the loader's search path.
std::vector<std::string> module_candidates(const char* name);

}  // namespace vantorix
