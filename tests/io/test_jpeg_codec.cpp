// The direct JPEG decoder and encoder give exactly what OpenCV's codec gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "io/codecs.h"
#include "io/jpeg_codec.h"
#include "support/test_support.h"

namespace {

const vantorix::CodecTable& opencv() { return *vantorix_codec_table(); }

// A JPEG that carries an APP1 EXIF block with one orientation entry (little-endian TIFF).
std::vector<uint8_t> with_orientation(std::vector<uint8_t> jpeg, uint16_t orientation) {
    const uint8_t app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                            0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1, app1 + sizeof app1);
    return jpeg;
}

cv::Mat textured(int rows, int cols, int type) {
    cv::Mat m(rows, cols, type);
    cv::randu(m, 0, 256);
    cv::GaussianBlur(m, m, cv::Size(5, 5), 1.5);
    return m;
}

void expect_same_decoding(const std::vector<uint8_t>& jpeg, const std::string& what) {
    for (int flags : {cv::IMREAD_COLOR, cv::IMREAD_GRAYSCALE}) {
        cv::Mat direct;
        ASSERT_TRUE(vantorix::jpeg_decode_direct(jpeg.data(), jpeg.size(), flags, direct)) << what;
        EXPECT_TRUE(testsupport::identical(direct, opencv().decode(cv::Mat(jpeg), flags))) << what << " flags " << flags;
    }
}

}  // namespace

TEST(JpegCodec, DecodesLikeOpenCv) {
    struct Case { const char* name; int type; std::vector<int> params; } cases[] = {
        {"4:2:0 colour", CV_8UC3, {cv::IMWRITE_JPEG_QUALITY, 90}},
        {"own chroma tables", CV_8UC3, {cv::IMWRITE_JPEG_LUMA_QUALITY, 80, cv::IMWRITE_JPEG_CHROMA_QUALITY, 40}},
        {"progressive", CV_8UC3, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}},
        {"restart markers", CV_8UC3, {cv::IMWRITE_JPEG_RST_INTERVAL, 3}},
        {"grey", CV_8UC1, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> jpeg;
        ASSERT_TRUE(opencv().encode(".jpg", textured(37, 53, c.type), jpeg, c.params));
        for (uint16_t o = 1; o <= 9; ++o)  // 9 is no orientation: left as decoded
            expect_same_decoding(with_orientation(jpeg, o), std::string(c.name) + " orientation " + std::to_string(o));
        const std::vector<uint8_t> turned = with_orientation(jpeg, 6);
        cv::Mat upright;
        ASSERT_TRUE(vantorix::jpeg_decode_direct(turned.data(), turned.size(), cv::IMREAD_COLOR, upright));
        EXPECT_EQ(upright.size(), cv::Size(37, 53));  // turned a quarter: the orientation was read
    }
}

TEST(JpegCodec, DecodesCorpusFilesLikeOpenCv) {
    REQUIRE_CORPUS();
    int decoded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::corpus_dir() + "/jpeg")) {
        const std::vector<uint8_t> bytes = testsupport::read_bytes(entry.path().string());
        cv::Mat direct;
        if (!vantorix::jpeg_decode_direct(bytes.data(), bytes.size(), cv::IMREAD_COLOR, direct)) continue;
        EXPECT_TRUE(testsupport::identical(direct, opencv().decode(cv::Mat(bytes), cv::IMREAD_COLOR))) << entry.path();
        ++decoded;
    }
    EXPECT_GE(decoded, 5);
}

TEST(JpegCodec, LeavesUncommonFilesToOpenCv) {
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(opencv().encode(".jpg", textured(40, 40, CV_8UC3), jpeg, {}));
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    std::vector<uint8_t> twice = with_orientation(with_orientation(jpeg, 6), 3);
    cv::Mat out;
    for (const auto& [bytes, flags] : {std::pair{cut, cv::IMREAD_COLOR}, {twice, cv::IMREAD_COLOR}, {jpeg, cv::IMREAD_UNCHANGED}})
        EXPECT_FALSE(vantorix::jpeg_decode_direct(bytes.data(), bytes.size(), flags, out));
    EXPECT_TRUE(out.empty());
    // Through the codec entry the damaged file still decodes as OpenCV decodes it.
    EXPECT_TRUE(testsupport::identical(vantorix::codec_decode(cv::Mat(cut), cv::IMREAD_COLOR),
                                       opencv().decode(cv::Mat(cut), cv::IMREAD_COLOR)));
}

TEST(JpegCodec, EncodesTheSameBytesAsOpenCv) {
    const cv::Mat colour = textured(61, 83, CV_8UC3), grey = textured(61, 83, CV_8UC1);
    const std::vector<std::vector<int>> params = {{}, {cv::IMWRITE_JPEG_QUALITY, 1}, {cv::IMWRITE_JPEG_QUALITY, 75},
                                                  {cv::IMWRITE_JPEG_QUALITY, 100}, {cv::IMWRITE_JPEG_QUALITY, 250}};
    for (const cv::Mat& image : {colour, grey})
        for (const auto& p : params) {
            std::vector<uint8_t> direct, reference;
            ASSERT_TRUE(vantorix::jpeg_encode_direct(".JPEG", image, p, direct));
            ASSERT_TRUE(opencv().encode(".jpg", image, reference, p));
            EXPECT_EQ(direct, reference) << image.channels() << " channels, " << p.size() << " params";
        }
    std::vector<uint8_t> out;  // another format or encoder option is left to the module
    EXPECT_FALSE(vantorix::jpeg_encode_direct(".png", colour, {}, out) ||
                 vantorix::jpeg_encode_direct(".jpg", colour, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}, out));
}
