// `develop IN... --out-dir`, and edits saved and applied as documents.
#include <sys/stat.h>

#include <string>

#include "support/test_support.h"

namespace {

using testsupport::q;
using testsupport::read_bytes;
using testsupport::run_cli;
using testsupport::temp_path;

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string photo(const std::string& name, int seed) {
    cv::Mat bgr(60, 80, CV_8UC3);
    cv::RNG(seed).fill(bgr, cv::RNG::UNIFORM, 0, 256);
    testsupport::write_image(temp_path(name), bgr);
    return temp_path(name);
}

TEST(BatchCli, FailedFileIsReportedAndTheRestDeveloped) {
    const std::string a = photo("batch_a.png", 1), b = photo("batch_b.png", 2), broken = temp_path("batch_broken.jpg");
    testsupport::write_bytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    const std::string dir = temp_path("batch_out"), out_a = dir + "/batch_a.png", out_b = dir + "/batch_b.png";
    std::string out, err;
    const auto develop = [&](const std::string& args) {
        return run_cli("develop " + args + " --out-dir " + q(dir) + " --format png", &out, &err);
    };
    EXPECT_EQ(develop(q(a) + " " + q(broken) + " " + q(b) + " --jobs 2 --exposure 0.5"), 1);
    EXPECT_TRUE(contains(out, "developed 2 of 3 files") && contains(out, "1 failed: " + broken)) << out;
    EXPECT_TRUE(contains(err, "vantorix: " + broken + ": cannot load: OpenCV could not read")) << err;
    EXPECT_FALSE(contains(err, "\r")) << "no progress line when stderr is not a terminal";
    const auto first_a = read_bytes(out_a), first_b = read_bytes(out_b);
    EXPECT_FALSE(first_a.empty() || first_b.empty());
    struct stat st {};
    EXPECT_NE(::stat((dir + "/batch_broken.png").c_str(), &st), 0);

    // Same outputs again: refused file by file unless --overwrite.
    testsupport::write_bytes(out_b, {'k', 'e', 'e', 'p'});
    EXPECT_EQ(develop(q(a) + " " + q(b) + " --quiet"), 1);
    EXPECT_TRUE(contains(err, out_b + " exists")) << err;
    EXPECT_EQ(read_bytes(out_b), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(read_bytes(out_a), first_a);
    EXPECT_EQ(develop(q(b) + " --overwrite --exposure 0.5"), 0) << err;
    EXPECT_EQ(read_bytes(out_b), first_b);
}

TEST(EditCli, SavedEditReproducesTheDevelopmentAndOptionsOverrideIt) {
    const std::string in = photo("edit_in.png", 3), edit = temp_path("edit.json"), proposed = temp_path("edit_a.json");
    std::string err;
    // Develops `in` to temp_path(name) and returns the file's bytes.
    const auto develop = [&](const char* name, const std::string& options, int code = 0) {
        EXPECT_EQ(run_cli("develop " + q(in) + " " + q(temp_path(name)) + " " + options, nullptr, &err), code) << err;
        return read_bytes(temp_path(name));
    };
    const auto direct = develop("edit_0.png", "--auto-crop --contrast 30 --hsl blue:10,20,-5 --save-edit " + q(edit));
    const std::vector<uint8_t> doc = read_bytes(edit);
    EXPECT_TRUE(contains(std::string(doc.begin(), doc.end()), "\"contrast\": 30,"));
    EXPECT_EQ(develop("edit_again.png", "--edit " + q(edit)), direct);
    // Explicit options win over the document.
    EXPECT_EQ(develop("edit_overridden.png", "--edit " + q(edit) + " --contrast 0"),
              develop("edit_plain.png", "--auto-crop --hsl blue:10,20,-5"));

    // auto --save-edit writes what develop's automatic options would apply.
    ASSERT_EQ(run_cli("auto " + q(in) + " --save-edit " + q(proposed), nullptr, &err), 0) << err;
    EXPECT_EQ(develop("edit_auto_edit.png", "--edit " + q(proposed)),
              develop("edit_auto_direct.png", "--auto --auto-straighten --auto-crop"));

    // A refused document: exit 1 and the engine's message naming the key.
    testsupport::write_bytes(edit, {'{', '"', 'v', 'a', 'n', 't', 'o', 'r', 'i', 'x', '"', ':', '9', '}'});
    develop("edit_refused.png", "--edit " + q(edit), 1);
    EXPECT_TRUE(contains(err, "\"vantorix\" is version 9")) << err;
}

}  // namespace
