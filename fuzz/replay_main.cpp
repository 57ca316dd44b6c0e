// Stand-alone driver: replays every file of the folders (or files) named on
// the command line through a harness, for builds without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int replay(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::fprintf(stderr, "missing: %s\n", path.c_str()), 1;
    if (S_ISDIR(st.st_mode)) {
        int failures = 0;
        if (DIR* d = ::opendir(path.c_str())) {
            for (dirent* e; (e = ::readdir(d)) != nullptr;)
                if (e->d_name[0] != '.') failures += replay(path + "/" + e->d_name);
            ::closedir(d);
        }
        return failures;
    }
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) failures += replay(argv[i]);
    return failures == 0 ? 0 : 1;
}
