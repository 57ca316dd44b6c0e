// The one file writer behind every export and the command line: what it does
// with links, modes, long names, missing folders and special files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <opencv2/imgcodecs.hpp>

#include "support/test_support.h"

namespace {

using testsupport::temp_path;

bool is_png(const std::string& p) {
    const std::vector<uint8_t> b = testsupport::read_bytes(p);
    return b.size() > 8 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
}

mode_t mode_of(const std::string& p, bool follow = true) {
    struct stat st {};
    if ((follow ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) return 0;
    return st.st_mode;
}

}  // namespace

TEST(Writer, ExportTargets) {
    testsupport::Context ctx;
    const std::string src = temp_path("w_src.png");
    testsupport::write_image(src, cv::Mat(6, 8, CV_8UC3, cv::Scalar(1, 2, 3)));
    ASSERT_EQ(vantorix_load_arw(ctx, src.c_str(), 1), 0);
    auto text_file = [&](const std::string& p, mode_t mode) {
        testsupport::write_bytes(p, {'o', 'l', 'd'});
        ::chmod(p.c_str(), mode);
    };
    struct Row {
        std::string name;  // the target, in the temporary folder
        std::function<void(const std::string&)> setup;
        int code;
        std::string reason;  // after "PNG write failed: cannot write '<path>': "
        std::function<bool(const std::string&)> check;
    };
    const std::vector<Row> rows = {
        {"link.png",
         [&](const std::string& p) {
             text_file(temp_path("linked.png"), 0644);
             ::symlink("linked.png", p.c_str());
         },
         0, "", [](const std::string& p) { return S_ISLNK(mode_of(p, false)) && is_png(temp_path("linked.png")); }},
        {"private.png", [&](const std::string& p) { text_file(p, 0600); }, 0, "",
         [](const std::string& p) { return (mode_of(p) & 07777) == 0600 && is_png(p); }},
        {std::string(246, 'n') + ".png", nullptr, 0, "", is_png},
        {"missing/x.png", nullptr, -1, "No such file or directory", nullptr},
        {"fifo.png", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, -1, "not a regular file",
         [](const std::string& p) { return S_ISFIFO(mode_of(p)); }},
        {"dir.png", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }, -1, "not a regular file",
         [](const std::string& p) { return S_ISDIR(mode_of(p)); }},
        {"hard.png",
         [&](const std::string& p) {
             text_file(p, 0644);
             ::link(p.c_str(), temp_path("hard2.png").c_str());
         },
         0, "", [](const std::string& p) { return is_png(p) && testsupport::read_bytes(temp_path("hard2.png")).size() == 3; }},
    };
    for (const Row& row : rows) {
        const std::string p = temp_path(row.name);
        if (row.setup) row.setup(p);
        EXPECT_EQ(vantorix_export_png(ctx, p.c_str(), 8), row.code) << row.name;
        if (row.code != 0) {
            EXPECT_EQ(std::string(vantorix_last_error(ctx)), "PNG write failed: cannot write '" + p + "': " + row.reason);
        }
        if (row.check) {
            EXPECT_TRUE(row.check(p)) << row.name;
        }
    }
    // No temporary file is left behind by any row.
    DIR* dir = ::opendir(testsupport::temp_dir().c_str());
    for (dirent* e; (e = ::readdir(dir)) != nullptr;) EXPECT_NE(std::string(e->d_name).rfind(".vx", 0), 0u) << e->d_name;
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
