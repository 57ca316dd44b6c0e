// Thumbnails: reduced copies of ordinary images, RAW files' embedded JPEGs
// and bitmaps, the bitmap conversion and the failure codes.
#include <libraw/libraw.h>

#include <cstring>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "io/thumb_support.h"
#include "support/dng_writer.h"
#include "support/test_support.h"
#include "test_exif_jpeg.h"

using testsupport::temp_path;

namespace {

std::vector<uint8_t> thumbnail(const std::string& path, int expected_status = 0) {
    uint8_t* data = reinterpret_cast<uint8_t*>(&data);  // not null: the call must reset it
    uint32_t size = 12345;
    const int r = vantorix_extract_thumbnail(path.c_str(), &data, &size);
    EXPECT_EQ(r, expected_status) << path;
    std::vector<uint8_t> out;
    if (r == 0) {
        EXPECT_NE(data, nullptr);
        if (data) out.assign(data, data + size);
        vantorix_free_thumb(data);
    } else {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
    }
    return out;
}

// The first two entries (zig-zag order) of the JPEG's first quantisation table.
std::pair<int, int> first_quant_entries(const std::vector<uint8_t>& jpeg) {
    size_t pos = 2;
    while (pos + 4 < jpeg.size() && jpeg[pos] == 0xFF) {
        const int marker = jpeg[pos + 1];
        const size_t len = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (marker == 0xDB && pos + 6 < jpeg.size()) return {jpeg[pos + 5], jpeg[pos + 6]};
        pos += 2 + len;
    }
    return {-1, -1};
}

// libjpeg's scaling of the standard luminance table (first entries 16, 11).
std::pair<int, int> expected_quant_entries(int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return {(16 * scale + 50) / 100, (11 * scale + 50) / 100};
}

cv::Mat picture(int width, int height) {
    cv::Mat small(12, 16, CV_8UC3);
    cv::RNG rng(5);
    rng.fill(small, cv::RNG::UNIFORM, 0, 256);
    cv::Mat img;
    cv::resize(small, img, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return img;
}

double mean_abs_diff(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3.0;
}

std::string crw_sample() { return testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW"; }

}  // namespace

TEST(Thumbnail, LargeImagesAreReducedTo160) {
    struct Case {
        int w, h, tw, th;
        const char* name;
    };
    for (const Case& c : {Case{4000, 3000, 160, 120, "big.jpg"}, Case{1500, 2000, 120, 160, "tall.JPEG"},
                          Case{161, 50, 160, 50, "wide.png"}, Case{4000, 3, 160, 1, "strip.png"}}) {
        SCOPED_TRACE(c.name);
        const cv::Mat src = picture(c.w, c.h);
        const std::string path = temp_path(c.name);
        testsupport::write_image(path, src);
        const std::vector<uint8_t> jpeg = thumbnail(path);
        ASSERT_GT(jpeg.size(), 4u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
        EXPECT_EQ(first_quant_entries(jpeg), expected_quant_entries(75));
        const cv::Mat thumb = cv::imdecode(jpeg, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(thumb.cols, c.tw);
        ASSERT_EQ(thumb.rows, c.th);
        ASSERT_EQ(thumb.channels(), 3);
        // The picture is the area-reduced source (as decoded), up to JPEG loss.
        cv::Mat decoded = cv::imread(path, cv::IMREAD_COLOR), expected;
        cv::resize(decoded, expected, thumb.size(), 0, 0, cv::INTER_AREA);
        EXPECT_LT(mean_abs_diff(thumb, expected), 8.0);  // chroma subsampling of a colourful picture
    }
}

TEST(Thumbnail, SmallImagesKeepTheirSize) {
    for (const char* name : {"small.png", "small.bmp", "small.TIFF", "small.webp", "edge160.png"}) {
        SCOPED_TRACE(name);
        const bool edge = std::string(name) == "edge160.png";
        const cv::Mat src = picture(edge ? 160 : 120, edge ? 100 : 90);
        const std::string path = temp_path(name);
        testsupport::write_image(path, src);
        const cv::Mat thumb = cv::imdecode(thumbnail(path), cv::IMREAD_COLOR);
        EXPECT_EQ(thumb.size(), src.size());
        EXPECT_LT(mean_abs_diff(thumb, cv::imread(path, cv::IMREAD_COLOR)), 8.0);
    }
}

TEST(Thumbnail, EmbeddedJpegIsReturnedByteForByte) {
    // A camera-style embedded JPEG (beginning with an EXIF segment) is
    // returned exactly as embedded.
    std::vector<uint8_t> plain;
    ASSERT_TRUE(cv::imencode(".jpg", picture(160, 120), plain, {cv::IMWRITE_JPEG_QUALITY, 85}));
    exiftest::Block block;
    block.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Embedded");
    testsupport::DngOptions o;
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.jpeg_bytes = exiftest::insert_app1(plain, block.serialise());
    const std::string dng = temp_path("embedded.dng");
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    EXPECT_EQ(thumbnail(dng), o.jpeg_bytes);

    // The sample RAW: exactly the bytes LibRaw gives for its thumbnail.
    auto lr = std::make_unique<LibRaw>(0);
    ASSERT_EQ(lr->open_file(crw_sample().c_str()), 0);
    ASSERT_EQ(lr->unpack_thumb(), 0);
    int err = 0;
    libraw_processed_image_t* img = lr->dcraw_make_mem_thumb(&err);
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(img->type, LIBRAW_IMAGE_JPEG);
    const std::vector<uint8_t> expected(img->data, img->data + img->data_size);
    LibRaw::dcraw_clear_mem(img);
    lr.reset();
    const std::vector<uint8_t> got = thumbnail(crw_sample());
    EXPECT_EQ(got, expected);
    const cv::Mat thumb = cv::imdecode(got, cv::IMREAD_COLOR);
    EXPECT_EQ(thumb.cols, 640);
    EXPECT_EQ(thumb.rows, 480);

    // An embedded JPEG without an EXIF segment gets one from LibRaw; the
    // picture is the embedded one, pixel for pixel.
    o.jpeg_bytes = plain;
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    const cv::Mat from_raw = cv::imdecode(thumbnail(dng), cv::IMREAD_COLOR);
    const cv::Mat embedded = cv::imdecode(plain, cv::IMREAD_COLOR);
    ASSERT_EQ(from_raw.size(), embedded.size());
    EXPECT_EQ(cv::norm(from_raw, embedded, cv::NORM_INF), 0.0);
}

TEST(Thumbnail, BitmapThumbnailIsEncoded) {
    // Left half red, right half blue (BGR), 100 x 70: kept at its own size.
    cv::Mat pic(70, 100, CV_8UC3, cv::Scalar(0, 0, 230));
    pic(cv::Rect(50, 0, 50, 70)).setTo(cv::Scalar(220, 0, 0));
    testsupport::DngOptions o;
    o.thumb = testsupport::DngOptions::Thumb::bitmap;
    o.thumbnail = pic;
    const std::string dng = temp_path("bitmap.dng");
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    const std::vector<uint8_t> jpeg = thumbnail(dng);
    EXPECT_EQ(first_quant_entries(jpeg), expected_quant_entries(80));
    const cv::Mat thumb = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    ASSERT_EQ(thumb.size(), pic.size());
    EXPECT_LT(mean_abs_diff(thumb, pic), 4.0);
    const cv::Vec3b left = thumb.at<cv::Vec3b>(35, 20), right = thumb.at<cv::Vec3b>(35, 80);
    EXPECT_GT(left[2], 200);  // red stays red
    EXPECT_LT(left[0], 30);
    EXPECT_GT(right[0], 190);  // blue stays blue
    EXPECT_LT(right[2], 30);
}

TEST(Thumbnail, RealRawFiles) {
    REQUIRE_CORPUS();
    struct Case {
        const char* rel;
        int status, w, h;
    };
    for (const Case& c : {Case{"raw/canon_powershot_s40_CRW_0101.CRW", 0, 640, 480},
                          Case{"raw/kodak_dc120_P003908.KDC", 0, 80, 60},  // bitmap thumbnails
                          Case{"raw/kodak_dc50_DC0008L.KDC", 0, 96, 64},
                          Case{"raw/neg_exiftool_FujiFilm.raf", 0, 160, 120},  // RAW data broken, thumbnail fine
                          Case{"raw/tinydng_colorchart_canon_eos_kiss_x4.dng", -2, 0, 0},
                          Case{"raw/apple_quicktake100_TEST100.QTK", -2, 0, 0},
                          Case{"raw/neg_exiftool_CanonRaw.cr2", -1, 0, 0},
                          Case{"raw/neg_mei_Issue_247-1_jpeg_named.nef", -1, 0, 0},
                          Case{"malformed/exiv2_issue_1887_poc.crw", -1, 0, 0},
                          Case{"malformed/exiv2_issue_857_poc.raf", -1, 0, 0}}) {
        SCOPED_TRACE(c.rel);
        const std::vector<uint8_t> jpeg = thumbnail(CORPUS_FILE(c.rel), c.status);
        if (c.status != 0) continue;
        const cv::Mat thumb = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        EXPECT_EQ(thumb.cols, c.w);
        EXPECT_EQ(thumb.rows, c.h);
    }
    // Ordinary files from the corpus, 16-bit and with alpha included.
    for (const char* rel : {"other/vips_sample_16bit_rgb.png", "other/mei_png_issue280_rgba.png",
                            "other/mei_tif_issue151_16bit_gray_parrot.tif", "jpeg/mei_fujifilm_mx2900zoom.jpg"}) {
        SCOPED_TRACE(rel);
        const cv::Mat thumb = cv::imdecode(thumbnail(CORPUS_FILE(rel)), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(std::max(thumb.cols, thumb.rows), 160);
        EXPECT_EQ(thumb.channels(), 3);
    }
    for (const char* rel : {"malformed/pillow_truncated_image.png", "malformed/bmpsuite_b_reallybig_via_pillow.bmp",
                            "malformed/mei_fuzz_crash-824dc868.png"}) {
        SCOPED_TRACE(rel);
        thumbnail(CORPUS_FILE(rel), -1);
    }
}

TEST(Thumbnail, Failures) {
    uint8_t* data = reinterpret_cast<uint8_t*>(&data);
    uint8_t* const marker = data;
    uint32_t size = 7;
    EXPECT_EQ(vantorix_extract_thumbnail(nullptr, &data, &size), -1);
    EXPECT_EQ(data, marker);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(vantorix_extract_thumbnail(crw_sample().c_str(), nullptr, &size), -1);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(vantorix_extract_thumbnail(crw_sample().c_str(), &data, nullptr), -1);
    EXPECT_EQ(data, marker);
    vantorix_free_thumb(nullptr);

    const std::vector<uint8_t> text = {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't', '\n'};
    ASSERT_TRUE(testsupport::write_bytes(temp_path("text.jpg"), text));
    ASSERT_TRUE(testsupport::write_bytes(temp_path("text.arw"), text));
    thumbnail(temp_path("text.jpg"), -1);
    thumbnail(temp_path("text.arw"), -1);
    thumbnail(temp_path("no_such_file.png"), -1);
    thumbnail(temp_path("no_such_file.nef"), -1);

    testsupport::DngOptions o;
    ASSERT_TRUE(testsupport::write_dng(temp_path("bare.dng"), o));
    thumbnail(temp_path("bare.dng"), -2);

    // An embedded JPEG cut short: LibRaw produces no thumbnail.
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", picture(120, 90), jpeg));
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.jpeg_bytes.assign(jpeg.begin(), jpeg.begin() + 200);
    ASSERT_TRUE(testsupport::write_dng(temp_path("cut.dng"), o));
    thumbnail(temp_path("cut.dng"), -3);
    uint64_t h = 1;
    EXPECT_EQ(vantorix_phash(temp_path("cut.dng").c_str(), &h), -3);
    EXPECT_EQ(h, 0u);
}

namespace {

// A LibRaw-style in-memory image with room for `bytes` of data.
struct FakeImage {
    std::vector<unsigned char> block;
    libraw_processed_image_t* img;
    FakeImage(LibRaw_image_formats type, int w, int h, int colors, int bits, size_t bytes)
        : block(sizeof(libraw_processed_image_t) + bytes, 0) {
        img = reinterpret_cast<libraw_processed_image_t*>(block.data());
        img->type = type;
        img->width = static_cast<ushort>(w);
        img->height = static_cast<ushort>(h);
        img->colors = static_cast<ushort>(colors);
        img->bits = static_cast<ushort>(bits);
        img->data_size = static_cast<unsigned>(bytes);
    }
};

}  // namespace

TEST(Thumbnail, BitmapConversion) {
    {
        FakeImage f(LIBRAW_IMAGE_BITMAP, 3, 2, 3, 8, 18);
        for (int i = 0; i < 18; ++i) f.img->data[i] = static_cast<unsigned char>(i * 10);
        const cv::Mat m = vantorix::thumb_bitmap_to_8bit(*f.img);
        ASSERT_EQ(m.type(), CV_8UC3);
        ASSERT_EQ(m.size(), cv::Size(3, 2));
        EXPECT_EQ(m.at<cv::Vec3b>(1, 2), cv::Vec3b(150, 160, 170));  // samples in file order (R, G, B)
        EXPECT_NE(m.data, f.img->data);  // owns its pixels
    }
    {
        FakeImage f(LIBRAW_IMAGE_BITMAP, 2, 2, 1, 8, 4);
        for (int i = 0; i < 4; ++i) f.img->data[i] = static_cast<unsigned char>(i + 1);
        const cv::Mat m = vantorix::thumb_bitmap_to_8bit(*f.img);
        ASSERT_EQ(m.type(), CV_8UC1);
        EXPECT_EQ(m.at<uint8_t>(1, 1), 4);
    }
    {
        FakeImage f(LIBRAW_IMAGE_BITMAP, 2, 1, 3, 16, 12);
        const uint16_t samples[6] = {0, 257, 65535, 32896, 128, 129};
        std::memcpy(f.img->data, samples, sizeof samples);
        const cv::Mat m = vantorix::thumb_bitmap_to_8bit(*f.img);
        ASSERT_EQ(m.type(), CV_8UC3);
        EXPECT_EQ(m.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 1, 255));
        EXPECT_EQ(m.at<cv::Vec3b>(0, 1), cv::Vec3b(128, 0, 1));  // 128/257 rounds to 0, 129/257 to 1
    }
    // Layouts that cannot be read as they claim give an empty matrix.
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 4, 4, 4, 8, 64).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 4, 4, 2, 8, 32).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 4, 4, 3, 12, 96).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 4, 4, 3, 8, 47).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 4, 4, 3, 16, 95).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 0, 4, 3, 8, 16).img).empty());
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_JPEG, 4, 4, 3, 8, 48).img).empty());
    // The largest bitmap header does not overflow the size check.
    EXPECT_TRUE(vantorix::thumb_bitmap_to_8bit(*FakeImage(LIBRAW_IMAGE_BITMAP, 65535, 65535, 3, 16, 8).img).empty());
}

TEST(Thumbnail, ReductionKeepsAtLeastOnePixel) {
    EXPECT_EQ(vantorix::reduce_to_longer_side(cv::Mat(3, 5000, CV_8UC1, cv::Scalar(9)), 160).size(), cv::Size(160, 1));
    EXPECT_EQ(vantorix::reduce_to_longer_side(cv::Mat(1000, 2, CV_8UC1, cv::Scalar(9)), 256).size(), cv::Size(1, 256));
    EXPECT_EQ(vantorix::reduce_to_longer_side(cv::Mat(6000, 4000, CV_8UC1, cv::Scalar(9)), 256).size(),
              cv::Size(171, 256));
    const cv::Mat same(10, 20, CV_8UC1, cv::Scalar(1));
    EXPECT_EQ(vantorix::reduce_to_longer_side(same, 160).data, same.data);
}
