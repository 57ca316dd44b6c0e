// The one file writer behind every export and the command line: what it does
// with links, modes, long names, missing folders and special files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "support/test_support.h"

namespace {

using testsupport::temp_path;
using Path = const std::string&;

bool is_image(Path p) { return !cv::imread(p).empty(); }
void stale(Path p) { testsupport::write_bytes(p, {'o'}); }

mode_t mode_of(Path p, bool follow = true) {
    struct stat st {};
    return (follow ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) == 0 ? st.st_mode : 0;
}

}  // namespace

TEST(Writer, ExportTargets) {
    testsupport::Context ctx;
    const std::string src = temp_path("w_src.png");
    testsupport::write_image(src, cv::Mat(6, 8, CV_8UC3, cv::Scalar(1, 2, 3)));
    ASSERT_EQ(vantorix_load_arw(ctx, src.c_str(), 1), 0);
    // The target in the temporary folder, what is there before, the code, the reason after
    // "PNG write failed: cannot write '<path>': ", and the file type left at the name (0: nothing).
    struct Row { std::string name; void (*setup)(Path); int code; std::string reason; mode_t type; };
    const Row rows[] = {
        {"link.png", [](Path p) { stale(temp_path("to.png")); ::symlink("to.png", p.c_str()); }, 0, "", S_IFLNK},
        {"private.png", [](Path p) { stale(p); ::chmod(p.c_str(), 0600); }, 0, "", S_IFREG},
        {std::string(246, 'n') + ".png", nullptr, 0, "", S_IFREG},
        {"missing/x.png", nullptr, -1, "No such file or directory", 0},
        {"fifo.png", [](Path p) { ::mkfifo(p.c_str(), 0600); }, -1, "not a regular file", S_IFIFO},
        {"dir.png", [](Path p) { ::mkdir(p.c_str(), 0755); }, -1, "not a regular file", S_IFDIR},
        {"hard.png", [](Path p) { stale(p); ::link(p.c_str(), temp_path("hard2.png").c_str()); }, 0, "", S_IFREG},
    };
    for (const Row& row : rows) {
        const std::string p = temp_path(row.name);
        if (row.setup) row.setup(p);
        EXPECT_EQ(vantorix_export_png(ctx, p.c_str(), 8), row.code) << row.name;
        const std::string why = row.code ? vantorix_last_error(ctx) : "";
        EXPECT_EQ(why, row.code ? "PNG write failed: cannot write '" + p + "': " + row.reason : "") << row.name;
        EXPECT_EQ(mode_of(p, false) & S_IFMT, row.type) << row.name;
        EXPECT_TRUE(row.code != 0 || is_image(p)) << row.name;  // through a link: its target
    }
    // The mode is kept, and a hard link's other name keeps the old contents.
    EXPECT_EQ(mode_of(temp_path("private.png")) & 07777, 0600u);
    EXPECT_EQ(testsupport::read_bytes(temp_path("hard2.png")).size(), 1u);
    // No temporary file is left behind by any row.
    DIR* dir = ::opendir(testsupport::temp_dir().c_str());
    for (dirent* e; (e = ::readdir(dir)) != nullptr;)
        EXPECT_NE(std::string(e->d_name).rfind(".vx", 0), 0u) << e->d_name;
    ::closedir(dir);
    char buf[8];
    EXPECT_EQ(vantorix_write_file(temp_path("missing/y.bin").c_str(), nullptr, 0, buf, sizeof buf), -2);
    EXPECT_STREQ(buf, "cannot ");  // cut to fit, terminated
}

TEST(Writer, CommandLineWritesThroughIt) {
    const std::string in = temp_path("cli_in.png"), out = temp_path("cli_blur.png");
    testsupport::write_image(in, cv::Mat(40, 60, CV_8UC3, cv::Scalar(20, 120, 220)));
    // The blurred preview follows --bits and replaces a link's target.
    ::symlink("cli_target.png", out.c_str());
    ASSERT_EQ(testsupport::run_cli("develop " + in + " " + out + " --bits 16 --bg-blur 50"), 0);
    EXPECT_EQ(cv::imread(temp_path("cli_target.png"), cv::IMREAD_UNCHANGED).depth(), CV_16U);
    EXPECT_TRUE(S_ISLNK(mode_of(out, false)));
    std::string err;
    EXPECT_EQ(testsupport::run_cli("thumb " + in + " " + temp_path("nowhere/t.jpg"), nullptr, &err), 1);
    EXPECT_NE(err.find("t.jpg': No such file or directory"), std::string::npos) << err;
}
