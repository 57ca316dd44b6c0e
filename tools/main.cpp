// vantorix: command-line front end of the development engine.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "commands.h"
#include "vantorix.h"

namespace {

// Developing a RAW file, LibRaw allocates a few hundred megabytes that it
// fills once; in 4 KiB pages the page faults alone cost a tenth of the run.
// The commands that develop therefore ask the C library for transparent huge
// pages, which it only takes from the environment at start: the command runs
// itself again with the setting added (once; not when the caller chose a
// setting for it, nor when VANTORIX_KEEP_ENVIRONMENT is set).
void restart_with_huge_pages(char** argv) {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (std::getenv("VANTORIX_KEEP_ENVIRONMENT") || (tunables && std::strstr(tunables, "glibc.malloc.hugetlb")))
        return;
    const std::string value = std::string(tunables && *tunables ? tunables : "") + (tunables && *tunables ? ":" : "") +
                              "glibc.malloc.hugetlb=1";
    if (::setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    ::execv("/proc/self/exe", argv);
    // Not restarted: go on as we are, and do not hand the setting to child processes.
    if (tunables) ::setenv("GLIBC_TUNABLES", tunables, 1); else ::unsetenv("GLIBC_TUNABLES");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "develop") == 0 || std::strcmp(argv[1], "auto") == 0 ||
                      std::strcmp(argv[1], "cutout") == 0))
        restart_with_huge_pages(argv);
    vantorix_set_quiet(1);  // the tool reports failures itself; library logging stays off
    if (argc < 2) return cli::usage_error("missing command");
    const std::string command = argv[1];
    const cli::Args args(argv + 2, argv + argc);
    try {
        if (command == "develop") return cli::cmd_develop(args);
        if (command == "cutout") return cli::cmd_cutout(args);
        if (command == "info") return cli::cmd_info(args);
        if (command == "thumb") return cli::cmd_thumb(args);
        if (command == "phash") return cli::cmd_phash(args);
        if (command == "dupes") return cli::cmd_dupes(args);
        if (command == "auto") return cli::cmd_auto(args);
        if (command == "version" || command == "--version") {
            std::printf("vantorix %s\n", vantorix_version());
            return 0;
        }
        if (command == "help" || command == "--help" || command == "-h") {
            cli::print_usage();
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorix: %s\n", e.what());
        return 1;
    }
    return cli::usage_error("unknown command '" + command + "'");
}
