// vantorix_read_exif: the record vantorix_get_exif gives, without decoding.
#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <opencv2/imgcodecs.hpp>

#include "support/test_support.h"

namespace {

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
        ::closedir(d);
    }
    return out;
}

bool same(const ExifSummary& a, const ExifSummary& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The TIFF structure of a JPEG's EXIF block (what follows "Exif\0\0" in APP1).
std::vector<uint8_t> exif_tiff_of(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 10 < jpeg.size();) {
        const size_t len = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == 0xE1 && std::memcmp(&jpeg[i + 4], "Exif\0\0", 6) == 0)
            return std::vector<uint8_t>(jpeg.begin() + long(i) + 10, jpeg.begin() + long(i + 2 + len));
        i += 2 + len;
    }
    return {};
}

void put_be32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

}  // namespace

TEST(ReadExif, GivesTheRecordOfALoadedFileForEveryCorpusFile) {
    REQUIRE_CORPUS();
    testsupport::Context ctx;
    int compared = 0;
    for (const char* sub : {"jpeg", "raw", "other", "malformed"}) {
        for (const std::string& path : files_in(testsupport::corpus_dir() + "/" + sub)) {
            ExifSummary direct, loaded;
            const int r = vantorix_read_exif(path.c_str(), &direct);
            if (vantorix_load_arw(ctx, path.c_str(), 1) != 0) continue;
            ASSERT_EQ(vantorix_get_exif(ctx, &loaded), 0);
            ASSERT_EQ(r, 0) << path;
            // Where loading finds no EXIF in an ordinary image, the container may still hold some.
            if (loaded.make[0] == 0 && std::string(sub) == "other") continue;
            EXPECT_TRUE(same(direct, loaded)) << path << ": " << direct.make << " " << direct.width << "x"
                                              << direct.height << " vs " << loaded.make << " " << loaded.width
                                              << "x" << loaded.height;
            ++compared;
        }
    }
    EXPECT_GE(compared, 20);
}

TEST(ReadExif, FindsExifInTiffAndWebpContainers) {
    REQUIRE_CORPUS();
    struct Row {
        const char* file;
        const char *make, *model, *datetime;
        float focal, fnumber, exposure;
        int iso;
    };
    const Row rows[] = {
        {"other/libtiff_pc260001_olympus.tif", "OLYMPUS IMAGING CORP.", "C7070WZ", "2005:12:26 17:09:35", 17.8f,
         5.6f, 0.0125f, 200},
        {"other/mei_webp_nikon_d1x_exif.webp", "NIKON CORPORATION", "NIKON D1X", "2003:08:06 18:04:34", 17.0f, 4.8f,
         0.0125f, 0},
    };
    for (const Row& row : rows) {
        ExifSummary s;
        ASSERT_EQ(vantorix_read_exif(CORPUS_FILE(row.file).c_str(), &s), 0) << row.file;
        EXPECT_STREQ(s.make, row.make) << row.file;
        EXPECT_STREQ(s.model, row.model) << row.file;
        EXPECT_STREQ(s.datetime, row.datetime) << row.file;
        EXPECT_FLOAT_EQ(s.focal_length, row.focal) << row.file;
        EXPECT_FLOAT_EQ(s.aperture, row.fnumber) << row.file;
        EXPECT_FLOAT_EQ(s.exposure_time, row.exposure) << row.file;
        EXPECT_EQ(s.iso, row.iso) << row.file;  // the D1X stores ISO as "0 200": the first value counts
    }
}

TEST(ReadExif, FindsExifInAPngChunkAfterTheImageData) {
    REQUIRE_CORPUS();
    const std::string jpeg = CORPUS_FILE("jpeg/mei_apple_iphone5.jpg");
    const std::vector<uint8_t> tiff = exif_tiff_of(testsupport::read_bytes(jpeg));
    ASSERT_FALSE(tiff.empty());
    std::vector<uint8_t> png;
    ASSERT_TRUE(cv::imencode(".png", cv::Mat(3, 5, CV_8UC3, cv::Scalar(1, 2, 3)), png));
    std::vector<uint8_t> chunk;
    put_be32(chunk, uint32_t(tiff.size()));
    chunk.insert(chunk.end(), {'e', 'X', 'I', 'f'});
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    put_be32(chunk, 0);  // the CRC is not checked
    png.insert(png.end() - 12, chunk.begin(), chunk.end());  // just before IEND
    const std::string path = testsupport::temp_path("exif_chunk.png");
    ASSERT_TRUE(testsupport::write_bytes(path, png));
    ExifSummary from_png, from_jpeg;
    ASSERT_EQ(vantorix_read_exif(path.c_str(), &from_png), 0);
    ASSERT_EQ(vantorix_read_exif(jpeg.c_str(), &from_jpeg), 0);
    EXPECT_TRUE(same(from_png, from_jpeg));
    EXPECT_NEAR(from_png.gps_latitude, 47.6271666666667, 1e-9);
}

TEST(ReadExif, RefusesWhatItCannotRead) {
    const std::string fifo = testsupport::temp_path("pipe.jpg"), folder = testsupport::temp_path("dir.cr2");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::vector<uint8_t> bad_png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0xff, 0xff, 0xff, 0xf0, 'e', 'X',
                                    'I', 'f', 0, 0, 0, 0};
    const std::string truncated = testsupport::temp_path("bad.png"), text = testsupport::temp_path("text.cr2");
    ASSERT_TRUE(testsupport::write_bytes(truncated, bad_png));
    ASSERT_TRUE(testsupport::write_bytes(text, {'n', 'o', 't', ' ', 'r', 'a', 'w'}));
    ExifSummary s;
    struct Row {
        std::string path;
        int code;
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Row& row : std::vector<Row>{{fifo, -1}, {folder, -1}, {"/no/such/file.jpg", -1}, {text, -2},
                                           {truncated, 0}}) {
        s.iso = 12345;
        EXPECT_EQ(vantorix_read_exif(row.path.c_str(), &s), row.code) << row.path;
        if (row.code == 0) {
            EXPECT_TRUE(s.iso == 0 && s.make[0] == 0 && std::isnan(s.gps_latitude));
        } else {
            EXPECT_EQ(s.iso, 12345) << "written on failure: " << row.path;
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "a FIFO was waited on";
    EXPECT_EQ(vantorix_read_exif(nullptr, &s), -1);
    EXPECT_EQ(vantorix_read_exif(text.c_str(), nullptr), -1);
}
