// The command-line tool's file commands: info, thumb, phash, dupes.
#include <sys/stat.h>

#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "test_exif_jpeg.h"

using testsupport::run_cli;
using testsupport::temp_path;

namespace {

std::string q(const std::string& path) { return "'" + path + "'"; }

std::string crw_sample() { return testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW"; }

std::string hex(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

uint64_t phash_of(const std::string& path) {
    uint64_t h = 0;
    EXPECT_EQ(vantorix_phash(path.c_str(), &h), 0) << path;
    return h;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) out.push_back(line);
    return out;
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// A picture with clear large-scale structure (BGR): gradients, bands and a
// disc, placed differently per `variant`.
cv::Mat structured(int variant, int width, int height) {
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int X = x * 320 / width, Y = y * 240 / height;
            if (variant) std::swap(X, Y), X = X * 4 / 3, Y = Y * 3 / 4;
            int b = ((X / 64 + Y / 48) % 3) * 100, g = Y * 255 / 239, r = X * 255 / 319;
            const int dx = X - (variant ? 80 : 200), dy = Y - (variant ? 160 : 100);
            if (dx * dx + dy * dy < 50 * 50) b = 220, g = 30, r = 30;
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uint8_t>(b), cv::saturate_cast<uint8_t>(g),
                                                cv::saturate_cast<uint8_t>(r));
        }
    return img;
}

std::string exif_jpeg() {
    exiftest::Block b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker \"Q\"\\\x01  ")
        .ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "Mod\xff\xc3\xa9l")
        .shorts(EXIF_IFD_0, EXIF_TAG_ORIENTATION, {8})
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL, "Lens 50")
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, {{50, 1}})
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, {{28, 10}})
        .srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{7, 1}})
        .shorts(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, {400})
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:05:06 07:08:09")
        .shorts(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, {48})
        .shorts(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, {32})
        .ascii(EXIF_IFD_GPS, 1, "S")
        .rational(EXIF_IFD_GPS, 2, {{48, 1}, {30, 1}, {0, 1}});
    return exiftest::write_jpeg("cli_exif.jpg", b);
}

}  // namespace

TEST(CliFiles, InfoText) {
    const std::string jpg = exif_jpeg();
    std::string out, err;
    ASSERT_EQ(run_cli("info " + q(jpg), &out, &err), 0) << err;
    const std::vector<std::string> l = lines(out);
    ASSERT_EQ(l.size(), 12u) << out;
    EXPECT_EQ(l[0], jpg);
    EXPECT_EQ(l[1], "  make           Maker \"Q\"\\?");  // control character masked, blanks trimmed
    EXPECT_EQ(l[3], "  lens           Lens 50");
    EXPECT_EQ(l[4], "  focal length   50 mm");
    EXPECT_EQ(l[5], "  aperture       f/2.8");
    EXPECT_EQ(l[6], "  exposure time  1/128 s");
    EXPECT_EQ(l[7], "  iso            400");
    EXPECT_EQ(l[8], "  date/time      2024:05:06 07:08:09");
    EXPECT_EQ(l[9], "  size           48 x 32");
    EXPECT_EQ(l[10], "  orientation    8");
    EXPECT_EQ(l[11], "  gps            -48.500000, -");

    // Two files, one missing: the other is still reported, the status is 1.
    const std::string missing = temp_path("missing.jpg");
    ASSERT_EQ(run_cli("info " + q(missing) + " " + q(crw_sample()), &out, &err), 1);
    EXPECT_TRUE(contains(err, "vantorix: cannot read the shooting data of " + missing + ": No such file or directory"))
        << err;
    EXPECT_TRUE(contains(out, "  make           Canon\n  model          PowerShot G2\n")) << out;
    EXPECT_TRUE(contains(out, "  date/time      -\n")) << out;
}

TEST(CliFiles, InfoJson) {
    const std::string jpg = exif_jpeg();
    const std::string png = temp_path("cli_plain.png");
    testsupport::write_image(png, structured(0, 16, 16));
    std::string out, err;
    ASSERT_EQ(run_cli("info --json " + q(jpg) + " " + q(png), &out, &err), 0) << err;
    const std::vector<std::string> l = lines(out);
    ASSERT_EQ(l.size(), 4u) << out;
    EXPECT_EQ(l[0], "[");
    EXPECT_EQ(l[3], "]");
    EXPECT_EQ(l[1],
              "  {\"file\": \"" + jpg +
                  "\", \"make\": \"Maker \\\"Q\\\"\\\\\\u0001  \", \"model\": \"Mod\xef\xbf\xbd\xc3\xa9l\", "
                  "\"lens\": \"Lens 50\", \"focal_length\": 50, \"aperture\": 2.8, \"exposure_time\": 0.0078125, "
                  "\"iso\": 400, \"datetime\": \"2024:05:06 07:08:09\", \"width\": 48, \"height\": 32, "
                  "\"orientation\": 8, \"gps_latitude\": -48.5, \"gps_longitude\": null},");
    EXPECT_EQ(l[2], "  {\"file\": \"" + png +
                        "\", \"make\": \"\", \"model\": \"\", \"lens\": \"\", \"focal_length\": 0, \"aperture\": 0, "
                        "\"exposure_time\": 0, \"iso\": 0, \"datetime\": \"\", \"width\": 0, \"height\": 0, "
                        "\"orientation\": 0, \"gps_latitude\": null, \"gps_longitude\": null}");

    ASSERT_EQ(run_cli("info " + q(temp_path("nothing.png")) + " --json", &out, &err), 1);
    EXPECT_EQ(out, "[\n]\n");
}

TEST(CliFiles, Thumb) {
    const std::string out_jpg = temp_path("cli_thumb.jpg");
    std::string err;
    ASSERT_EQ(run_cli("thumb " + q(crw_sample()) + " " + q(out_jpg), nullptr, &err), 0) << err;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(vantorix_extract_thumbnail(crw_sample().c_str(), &data, &size), 0);
    const std::vector<uint8_t> expected(data, data + size);
    vantorix_free_thumb(data);
    EXPECT_EQ(testsupport::read_bytes(out_jpg), expected);

    const std::string big = temp_path("cli_big.png");
    testsupport::write_image(big, structured(1, 640, 400));
    ASSERT_EQ(run_cli("thumb " + q(big) + " " + q(out_jpg)), 0);
    EXPECT_EQ(cv::imread(out_jpg).size(), cv::Size(160, 100));

    const std::string text = temp_path("cli_text.jpg");
    ASSERT_TRUE(testsupport::write_bytes(text, {'t', 'e', 'x', 't'}));
    EXPECT_EQ(run_cli("thumb " + q(text) + " " + q(temp_path("never.jpg")), nullptr, &err), 1);
    EXPECT_EQ(err, "vantorix: cannot make a thumbnail of " + text + ": not a readable image file\n");
    struct stat st {};
    EXPECT_NE(::stat(temp_path("never.jpg").c_str(), &st), 0);

    const std::string unwritable = temp_path("no_such_folder/t.jpg");
    EXPECT_EQ(run_cli("thumb " + q(crw_sample()) + " " + q(unwritable), nullptr, &err), 1);
    EXPECT_TRUE(contains(err, "vantorix: cannot write " + unwritable + ": ")) << err;

    EXPECT_EQ(run_cli("thumb " + q(crw_sample()), nullptr, &err), 2);
    EXPECT_TRUE(contains(err, "thumb needs an input file and an output file")) << err;
}

TEST(CliFiles, Phash) {
    const std::string png = temp_path("cli_ph.png");
    testsupport::write_image(png, structured(0, 200, 150));
    const std::string text = temp_path("cli_ph_text.png");
    ASSERT_TRUE(testsupport::write_bytes(text, {'x'}));
    std::string out, err;
    ASSERT_EQ(run_cli("phash " + q(png) + " " + q(text) + " " + q(crw_sample()), &out, &err), 1);
    EXPECT_EQ(out, hex(phash_of(png)) + "  " + png + "\n" + hex(phash_of(crw_sample())) + "  " + crw_sample() + "\n");
    EXPECT_EQ(err, "vantorix: cannot hash " + text + ": not a readable image file\n");
    ASSERT_EQ(run_cli("phash " + q(png), &out), 0);
    EXPECT_EQ(out, hex(phash_of(png)) + "  " + png + "\n");
    EXPECT_EQ(run_cli("phash --fast " + q(png), nullptr, &err), 2);
}

TEST(CliFiles, Dupes) {
    // A folder tree: three forms of one picture, another picture, a RAW
    // file, a file that is not an image under an image name, and a text file.
    const std::string root = temp_path("dupes_root");
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/sub/deeper").c_str(), 0755), 0);
    const cv::Mat pic = structured(0, 320, 240), other = structured(1, 320, 240);
    testsupport::write_image(root + "/a_original.png", pic);
    testsupport::write_image(root + "/sub/b_copy.JPG", pic, {cv::IMWRITE_JPEG_QUALITY, 90});
    cv::Mat half;
    cv::resize(pic, half, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    testsupport::write_image(root + "/sub/deeper/c_half.webp", half, {cv::IMWRITE_WEBP_QUALITY, 100});
    testsupport::write_image(root + "/d_other.png", other);
    ASSERT_TRUE(testsupport::write_bytes(root + "/e_raw.crw", testsupport::read_bytes(crw_sample())));
    ASSERT_TRUE(testsupport::write_bytes(root + "/notes.txt", {'h', 'i'}));

    const uint64_t h_a = phash_of(root + "/a_original.png"), h_b = phash_of(root + "/sub/b_copy.JPG"),
                   h_c = phash_of(root + "/sub/deeper/c_half.webp");
    auto distance = [](uint64_t x, uint64_t y) { return static_cast<int>(__builtin_popcountll(x ^ y)); };
    ASSERT_LE(distance(h_a, h_b), 2);
    ASSERT_LE(distance(h_a, h_c), 2);
    ASSERT_GT(distance(h_a, phash_of(root + "/d_other.png")), 8);
    ASSERT_GT(distance(h_a, phash_of(root + "/e_raw.crw")), 8);

    char line[256];
    std::string expected = "group 1: 3 files\n";
    std::snprintf(line, sizeof line, "  %2d  %s  %s\n", 0, hex(h_a).c_str(), (root + "/a_original.png").c_str());
    expected += line;
    std::snprintf(line, sizeof line, "  %2d  %s  %s\n", distance(h_a, h_b), hex(h_b).c_str(),
                  (root + "/sub/b_copy.JPG").c_str());
    expected += line;
    std::snprintf(line, sizeof line, "  %2d  %s  %s\n", distance(h_a, h_c), hex(h_c).c_str(),
                  (root + "/sub/deeper/c_half.webp").c_str());
    expected += line;

    std::string out, err;
    ASSERT_EQ(run_cli("dupes " + q(root), &out, &err), 0) << err;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(err, "");  // no progress bar when stderr is not a terminal

    // A second copy of the RAW file forms a group of its own; a broken image
    // is reported and makes the status 1.
    ASSERT_TRUE(testsupport::write_bytes(root + "/sub/f_raw_copy.CRW", testsupport::read_bytes(crw_sample())));
    ASSERT_TRUE(testsupport::write_bytes(root + "/sub/g_broken.jpg", {0xFF, 0xD8, 0xFF}));
    ASSERT_EQ(run_cli("dupes --max-distance 2 " + q(root), &out, &err), 1);
    EXPECT_EQ(err, "vantorix: cannot hash " + root + "/sub/g_broken.jpg: not a readable image file\n");
    EXPECT_TRUE(contains(out, "group 1: 3 files\n")) << out;
    EXPECT_TRUE(contains(out, "\ngroup 2: 2 files\n   0  " + hex(phash_of(crw_sample())) + "  " + root +
                                  "/e_raw.crw\n   0  " + hex(phash_of(crw_sample())) + "  " + root +
                                  "/sub/f_raw_copy.CRW\n"))
        << out;

    // Everything within 64 bits is one group.
    ASSERT_EQ(run_cli("dupes " + q(root) + " --max-distance 64", &out, &err), 1);
    EXPECT_TRUE(contains(out, "group 1: 6 files\n")) << out;
    EXPECT_FALSE(contains(out, "group 2")) << out;

    EXPECT_EQ(run_cli("dupes", nullptr, &err), 2);
    EXPECT_EQ(run_cli("dupes " + q(root) + " --max-distance", nullptr, &err), 2);
    EXPECT_EQ(run_cli("dupes " + q(root) + " --max-distance 65", nullptr, &err), 2);
    EXPECT_TRUE(contains(err, "vantorix: --max-distance needs a whole number from 0 to 64\n")) << err;
    EXPECT_EQ(run_cli("dupes " + q(root + "/notes.txt"), nullptr, &err), 1);
    EXPECT_EQ(err, "vantorix: " + root + "/notes.txt is not a folder\n");

    // An empty folder: nothing to report.
    ASSERT_EQ(::mkdir(temp_path("dupes_empty").c_str(), 0755), 0);
    ASSERT_EQ(run_cli("dupes " + q(temp_path("dupes_empty")), &out, &err), 0);
    EXPECT_EQ(out, "");
}
