// vantorix_read_exif: the record vantorix_get_exif gives, without decoding.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "support/test_support.h"

static bool same(const ExifSummary& a, const ExifSummary& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ReadExif, GivesTheRecordOfALoadedFileForEveryCorpusFile) {
    REQUIRE_CORPUS();
    testsupport::Context ctx;
    int compared = 0;
    for (const char* sub : {"jpeg", "raw", "other", "malformed"}) {
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::corpus_dir() + "/" + sub)) {
            const std::string path = entry.path().string();
            ExifSummary direct, loaded;
            const int r = vantorix_read_exif(path.c_str(), &direct);
            if (entry.path().filename().string()[0] == '.' || vantorix_load_arw(ctx, path.c_str(), 1) != 0) continue;
            ASSERT_EQ(vantorix_get_exif(ctx, &loaded), 0);
            ASSERT_EQ(r, 0) << path;
            // Where loading finds no EXIF in an ordinary image, the container may still hold some.
            if (loaded.make[0] == 0 && std::string(sub) == "other") continue;
            EXPECT_TRUE(same(direct, loaded)) << path << ": " << direct.make << " vs " << loaded.make;
            ++compared;
        }
    }
    EXPECT_GE(compared, 20);
}

TEST(ReadExif, FindsExifInTiffAndWebpContainers) {
    REQUIRE_CORPUS();
    const struct { const char *file, *make, *model, *datetime; float focal, fnumber, exposure; int iso; } rows[] = {
        {"other/libtiff_pc260001_olympus.tif", "OLYMPUS IMAGING CORP.", "C7070WZ", "2005:12:26 17:09:35", 17.8f,
         5.6f, 0.0125f, 200},
        {"other/mei_webp_nikon_d1x_exif.webp", "NIKON CORPORATION", "NIKON D1X", "2003:08:06 18:04:34", 17.0f, 4.8f,
         0.0125f, 0},  // the D1X stores ISO as "0 200": the first value counts
    };
    for (const auto& row : rows) {
        ExifSummary s;
        ASSERT_EQ(vantorix_read_exif(CORPUS_FILE(row.file).c_str(), &s), 0) << row.file;
        EXPECT_EQ(std::string(s.make) + "|" + s.model + "|" + s.datetime,
                  std::string(row.make) + "|" + row.model + "|" + row.datetime);
        EXPECT_FLOAT_EQ(s.focal_length, row.focal) << row.file;
        EXPECT_FLOAT_EQ(s.aperture, row.fnumber) << row.file;
        EXPECT_FLOAT_EQ(s.exposure_time, row.exposure) << row.file;
        EXPECT_EQ(s.iso, row.iso) << row.file;
    }
}

TEST(ReadExif, FindsExifInAPngChunkAfterTheImageData) {
    REQUIRE_CORPUS();
    const std::string jpeg = CORPUS_FILE("jpeg/mei_apple_iphone5.jpg"), path = testsupport::temp_path("exif_chunk.png");
    const std::vector<uint8_t> bytes = testsupport::read_bytes(jpeg);
    const char tag[] = "Exif\0";  // with its terminator, the 6 bytes that open the EXIF block of APP1
    const auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 6);
    ASSERT_NE(at, bytes.end());
    const std::vector<uint8_t> tiff(at + 6, at - 2 + (at[-2] << 8 | at[-1]));  // the segment length precedes the tag
    std::vector<uint8_t> png, chunk;
    ASSERT_TRUE(cv::imencode(".png", cv::Mat(3, 5, CV_8UC3, cv::Scalar(1, 2, 3)), png));
    for (int s = 24; s >= 0; s -= 8) chunk.push_back(uint8_t(tiff.size() >> s));  // big-endian length
    chunk.insert(chunk.end(), {'e', 'X', 'I', 'f'});
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    chunk.insert(chunk.end(), 4, 0);  // the CRC is not checked
    png.insert(png.end() - 12, chunk.begin(), chunk.end());  // just before IEND
    ASSERT_TRUE(testsupport::write_bytes(path, png));
    ExifSummary from_png, from_jpeg;
    ASSERT_EQ(vantorix_read_exif(path.c_str(), &from_png), 0);
    ASSERT_EQ(vantorix_read_exif(jpeg.c_str(), &from_jpeg), 0);
    EXPECT_TRUE(same(from_png, from_jpeg));
    EXPECT_NEAR(from_png.gps_latitude, 47.6271666666667, 1e-9);
}

TEST(ReadExif, RefusesWhatItCannotRead) {
    const std::string fifo = testsupport::temp_path("pipe.jpg"), folder = testsupport::temp_path("dir.cr2");
    const std::string truncated = testsupport::temp_path("bad.png"), text = testsupport::temp_path("text.cr2");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_TRUE(testsupport::write_bytes(truncated, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                                     0xff, 0xff, 0xff, 0xf0, 'e', 'X', 'I', 'f', 0, 0, 0, 0}));
    ASSERT_TRUE(testsupport::write_bytes(text, {'n', 'o', 't', ' ', 'r', 'a', 'w'}));
    ExifSummary s;
    const auto start = std::chrono::steady_clock::now();
    const std::pair<std::string, int> rows[] = {{fifo, -1}, {folder, -1}, {"/no/such/file.jpg", -1}, {text, -2},
                                                {truncated, 0}};
    for (const auto& [path, code] : rows) {
        s.iso = 12345;
        EXPECT_EQ(vantorix_read_exif(path.c_str(), &s), code) << path;
        EXPECT_EQ(s.iso, code == 0 ? 0 : 12345) << (code == 0 ? "not cleared: " : "written on failure: ") << path;
        EXPECT_TRUE(code != 0 || (s.make[0] == 0 && std::isnan(s.gps_latitude))) << path;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "a FIFO was waited on";
    EXPECT_TRUE(vantorix_read_exif(nullptr, &s) == -1 && vantorix_read_exif(text.c_str(), nullptr) == -1);
}
