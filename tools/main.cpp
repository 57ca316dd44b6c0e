// vantorix: command-line front end of the development engine.
#include <cstdio>
#include <exception>

#include "commands.h"
#include "vantorix.h"

int main(int argc, char** argv) {
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
