// `develop IN... --out-dir`, and edits saved and applied as documents.
#include <sys/stat.h>

#include <opencv2/core.hpp>
#include <string>

#include "support/test_support.h"

namespace {

using testsupport::read_bytes;
using testsupport::run_cli;
using testsupport::temp_path;

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string photo(const std::string& name, int seed) {
    cv::Mat bgr(60, 80, CV_8UC3);
    cv::RNG(seed).fill(bgr, cv::RNG::UNIFORM, 0, 256);
    const std::string p = temp_path(name);
    testsupport::write_image(p, bgr);
    return p;
}

TEST(BatchCli, FailedFileIsReportedAndTheRestDeveloped) {
    const std::string a = photo("batch_a.png", 1), b = photo("batch_b.png", 2);
    const std::string broken = temp_path("batch_broken.jpg");
    testsupport::write_bytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    const std::string dir = temp_path("batch_out");
    std::string out, err;
    EXPECT_EQ(run_cli("develop '" + a + "' '" + broken + "' '" + b + "' --out-dir '" + dir +
                          "' --format png --jobs 2 --exposure 0.5",
                      &out, &err),
              1);
    EXPECT_TRUE(contains(out, "developed 2 of 3 files")) << out;
    EXPECT_TRUE(contains(out, "1 failed: " + broken)) << out;
    EXPECT_TRUE(contains(err, "vantorix: " + broken + ": cannot load: OpenCV could not read")) << err;
    EXPECT_FALSE(contains(err, "\r")) << "no progress line when stderr is not a terminal";
    const auto first = read_bytes(dir + "/batch_a.png");
    EXPECT_FALSE(first.empty());
    EXPECT_FALSE(read_bytes(dir + "/batch_b.png").empty());
    struct stat st {};
    EXPECT_NE(::stat((dir + "/batch_broken.png").c_str(), &st), 0);

    // Same outputs again: refused file by file unless --overwrite.
    testsupport::write_bytes(dir + "/batch_b.png", {'k', 'e', 'e', 'p'});
    EXPECT_EQ(run_cli("develop '" + a + "' '" + b + "' --out-dir '" + dir + "' --format png --quiet", &out, &err), 1);
    EXPECT_TRUE(contains(err, dir + "/batch_b.png exists")) << err;
    EXPECT_EQ(read_bytes(dir + "/batch_b.png"), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(run_cli("develop '" + b + "' --out-dir '" + dir + "' --format png --overwrite --exposure 0.5", &out,
                      &err),
              0)
        << err;
    EXPECT_EQ(read_bytes(dir + "/batch_b.png").size() > 4, true);
    EXPECT_EQ(read_bytes(dir + "/batch_a.png"), first);
}

TEST(EditCli, SavedEditReproducesTheDevelopmentAndOptionsOverrideIt) {
    const std::string in = photo("edit_in.png", 3);
    const std::string edit = temp_path("edit.json"), direct = temp_path("edit_direct.png");
    const std::string again = temp_path("edit_again.png"), plain = temp_path("edit_plain.png");
    const std::string overridden = temp_path("edit_overridden.png");
    std::string err;
    ASSERT_EQ(run_cli("develop '" + in + "' '" + direct + "' --auto-crop --contrast 30 --hsl blue:10,20,-5 " +
                          "--save-edit '" + edit + "'",
                      nullptr, &err),
              0)
        << err;
    const std::vector<uint8_t> doc = read_bytes(edit);
    EXPECT_TRUE(contains(std::string(doc.begin(), doc.end()), "\"contrast\": 30,"));
    ASSERT_EQ(run_cli("develop '" + in + "' '" + again + "' --edit '" + edit + "'", nullptr, &err), 0) << err;
    EXPECT_EQ(read_bytes(again), read_bytes(direct));

    // Explicit options win over the document.
    ASSERT_EQ(run_cli("develop '" + in + "' '" + plain + "' --auto-crop --hsl blue:10,20,-5", nullptr, &err), 0);
    ASSERT_EQ(run_cli("develop '" + in + "' '" + overridden + "' --edit '" + edit + "' --contrast 0", nullptr, &err),
              0);
    EXPECT_EQ(read_bytes(overridden), read_bytes(plain));

    // auto --save-edit writes what develop's automatic options would apply.
    const std::string proposed = temp_path("edit_auto.json"), auto_direct = temp_path("edit_auto_direct.png");
    const std::string auto_edit = temp_path("edit_auto_edit.png");
    ASSERT_EQ(run_cli("auto '" + in + "' --save-edit '" + proposed + "'", nullptr, &err), 0) << err;
    ASSERT_EQ(run_cli("develop '" + in + "' '" + auto_direct + "' --auto --auto-straighten --auto-crop", nullptr, &err),
              0);
    ASSERT_EQ(run_cli("develop '" + in + "' '" + auto_edit + "' --edit '" + proposed + "'", nullptr, &err), 0);
    EXPECT_EQ(read_bytes(auto_edit), read_bytes(auto_direct));

    // A refused document: exit 1 and the engine's message naming the key.
    testsupport::write_bytes(edit, {'{', '"', 'v', 'a', 'n', 't', 'o', 'r', 'i', 'x', '"', ':', '9', '}'});
    EXPECT_EQ(run_cli("develop '" + in + "' '" + again + "' --edit '" + edit + "'", nullptr, &err), 1);
    EXPECT_TRUE(contains(err, "\"vantorix\" is version 9")) << err;
}

}  // namespace
