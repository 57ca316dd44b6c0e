// The command-line tool's defaults: a development without options gives the
// picture back unchanged, and `info` shows camera texts without the blanks
// cameras pad them with, in text and JSON alike.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "support/tiff_writer.h"
#include "support/test_support.h"

namespace {

using testsupport::run_cli;
using testsupport::temp_path;

TEST(CliDefaults, DevelopWithoutOptionsGivesThePictureBack) {
    cv::Mat bgr;
    testsupport::random_image(37, 23, 7).convertTo(bgr, CV_8U, 255.0);  // CV_8UC4 with random alpha
    cv::cvtColor(bgr, bgr, cv::COLOR_BGRA2BGR);
    const std::string in = temp_path("neutral-in.png");
    testsupport::write_image(in, bgr);
    const struct {
        std::string options;
        bool unchanged;
    } rows[] = {
        {"", true},
        {" --temperature 6500", true},
        {" --temperature 5500", false},  // the library's own default warms the picture
    };
    for (const auto& row : rows) {
        const std::string out = temp_path("neutral-out.png");
        std::string err;
        ASSERT_EQ(run_cli("develop " + in + " " + out + row.options, nullptr, &err), 0) << err;
        EXPECT_EQ(err, "") << row.options;
        const cv::Mat back = cv::imread(out, cv::IMREAD_UNCHANGED);
        EXPECT_EQ(testsupport::identical(back, bgr), row.unchanged) << "options:" << row.options;
    }
}

TEST(CliDefaults, InfoTrimsTrailingBlanksInTextAndJson) {
    testsupport::ExifBlock block;
    block.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Canon   ").ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "EOS 5D\t \t");
    const std::string jpg = testsupport::write_exif_jpeg("padded.jpg", block);
    std::string text, json;
    ASSERT_EQ(run_cli("info " + jpg, &text), 0);
    ASSERT_EQ(run_cli("info --json " + jpg, &json), 0);
    const char* const expected[] = {"  make           Canon\n", "  model          EOS 5D\n"};
    for (const char* line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
    const char* const fields[] = {"\"make\": \"Canon\",", "\"model\": \"EOS 5D\","};
    for (const char* field : fields) EXPECT_NE(json.find(field), std::string::npos) << field << " in:\n" << json;
}

}  // namespace
