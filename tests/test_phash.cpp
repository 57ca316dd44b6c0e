// The perceptual hash: bit layout from chosen DCT coefficients, a scalar
// reference computation, pinned hashes, near-duplicates and failures.
#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstring>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/phash_core.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

using testsupport::temp_path;

namespace {

const double kPi = 3.14159265358979323846;

int distance(uint64_t a, uint64_t b) { return static_cast<int>(std::bitset<64>(a ^ b).count()); }

uint64_t hash_file(const std::string& path) {
    uint64_t h = 0x5555555555555555ull;
    EXPECT_EQ(vantorix_phash(path.c_str(), &h), 0) << path;
    return h;
}

// Hashes of the corpus's (large, read-only) files, each computed once per run.
uint64_t corpus_hash(const char* rel) {
    static std::map<std::string, uint64_t> cache;
    auto it = cache.find(rel);
    if (it != cache.end()) return it->second;
    const uint64_t h = hash_file(CORPUS_FILE(rel));
    cache[rel] = h;
    return h;
}

// DCT-II basis with orthonormal scaling, N = 32: c(k) cos((2n + 1) k pi / 64).
double basis(int k, int n) {
    const double c = k == 0 ? std::sqrt(1.0 / 32.0) : std::sqrt(2.0 / 32.0);
    return c * std::cos((2 * n + 1) * k * kPi / 64.0);
}

// Scalar reference: the hash of an already reduced 32 x 32 grey image,
// computed in double precision straight from the definition.
uint64_t reference_hash_32(const cv::Mat& small) {
    double coef[8][8];
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            double sum = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) sum += small.at<uint8_t>(y, x) * basis(u, y) * basis(v, x);
            coef[u][v] = sum;
        }
    std::vector<double> ac;
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
            if (u || v) ac.push_back(coef[u][v]);
    std::sort(ac.begin(), ac.end());
    const double median = ac[31];
    uint64_t hash = 0;
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
            if (coef[u][v] > median) hash |= uint64_t(1) << (63 - (8 * u + v));
    return hash;
}

// A deterministic picture made with integer arithmetic only: gradients,
// bands and a disc (BGR).
cv::Mat scene(int width, int height) {
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int X = x * 320 / width, Y = y * 240 / height;  // scene coordinates
            int b = ((X / 64 + Y / 48) % 3) * 100;
            int g = Y * 255 / 239;
            int r = X * 255 / 319;
            const int dx = X - 200, dy = Y - 100;
            if (dx * dx + dy * dy < 50 * 50) {
                b = 220;
                g = 30;
                r = 30;
            }
            if (Y > 170 && X < 120) g = 255 - g;
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r));
        }
    return img;
}

// A 32 x 32 grey image whose DCT block holds chosen values: DC 4096 (mean
// 128) and the 63 distinct values -124, -120, ..., 124 in a shuffled order.
// `coef` receives the values; returns false when a pixel would clip.
bool image_with_coefficients(unsigned seed, cv::Mat& out, int coef[8][8]) {
    std::vector<int> values;
    for (int k = 0; k < 63; ++k) values.push_back(-124 + 4 * k);
    std::mt19937 rng(seed);
    for (size_t i = values.size() - 1; i > 0; --i) std::swap(values[i], values[rng() % (i + 1)]);
    size_t next = 0;
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) coef[u][v] = (u || v) ? values[next++] : 4096;
    out.create(32, 32, CV_8UC1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            double p = 0;
            for (int u = 0; u < 8; ++u)
                for (int v = 0; v < 8; ++v) p += coef[u][v] * basis(u, y) * basis(v, x);
            if (p < 0.5 || p > 254.5) return false;
            out.at<uint8_t>(y, x) = static_cast<uint8_t>(std::lround(p));
        }
    return true;
}

}  // namespace

// Bit 63 - (8u + v) belongs to coefficient (row u, column v), set when it lies
// above the median (index 31) of the 63 others; the DC coefficient (bit 63)
// takes part. The expected hash comes from the chosen coefficients alone.
TEST(Phash, BitLayoutFromChosenCoefficients) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        cv::Mat img;
        int coef[8][8];
        ASSERT_TRUE(image_with_coefficients(seed, img, coef));
        uint64_t expected = uint64_t(1) << 63;  // DC 4096 > median 0
        for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v)
                if ((u || v) && coef[u][v] > 0) expected |= uint64_t(1) << (63 - (8 * u + v));
        ASSERT_EQ(std::bitset<64>(expected).count(), 32u);

        const std::string path = temp_path("coef_" + std::to_string(seed) + ".png");
        testsupport::write_image(path, img);
        EXPECT_EQ(hash_file(path), expected);
        EXPECT_EQ(vantorix::phash_of_grey(img), expected);

        // The transposed picture swaps rows and columns of the block.
        cv::Mat transposed = img.t();
        uint64_t expected_t = uint64_t(1) << 63;
        for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v)
                if ((u || v) && coef[v][u] > 0) expected_t |= uint64_t(1) << (63 - (8 * u + v));
        EXPECT_EQ(vantorix::phash_of_grey(transposed), expected_t);
        EXPECT_NE(expected_t, expected);

        // Enlarged by whole pixel blocks, the area reductions (512 -> 256 -> 32
        // and 64 -> 32) restore the 32 x 32 picture exactly.
        for (int factor : {2, 16}) {
            cv::Mat big;
            cv::resize(img, big, cv::Size(), factor, factor, cv::INTER_NEAREST);
            const std::string bp = temp_path("coef_" + std::to_string(seed) + "_x" + std::to_string(factor) + ".png");
            testsupport::write_image(bp, big);
            EXPECT_EQ(hash_file(bp), expected) << "x" << factor;
        }
    }
}

TEST(Phash, MatchesScalarReference) {
    std::vector<cv::Mat> greys;
    cv::Mat s;
    cv::cvtColor(scene(320, 240), s, cv::COLOR_BGR2GRAY);
    greys.push_back(s);
    cv::cvtColor(scene(97, 201), s, cv::COLOR_BGR2GRAY);
    greys.push_back(s);
    cv::Mat noise(50, 70, CV_8UC1);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 3.0);
    greys.push_back(noise);
    for (size_t i = 0; i < greys.size(); ++i) {
        SCOPED_TRACE(i);
        cv::Mat small;
        cv::resize(greys[i], small, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
        EXPECT_EQ(vantorix::phash_of_grey(greys[i]), reference_hash_32(small));
    }
}

TEST(Phash, MedianSelectionEqualsFullSort) {
    std::mt19937 rng(42);
    for (int round = 0; round < 500; ++round) {
        std::vector<float> v(63);
        for (float& x : v) x = static_cast<float>(static_cast<int>(rng() % 41) - 20) * (round % 2 ? 0.5f : 13.25f);
        std::vector<float> sorted(v);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(vantorix::phash_median(v), sorted[31]);
    }
}

// Hashes are stored by hosts: they must not change between versions.
TEST(Phash, PinnedHashes) {
    const std::string scene_png = temp_path("pinned_scene.png");
    testsupport::write_image(scene_png, scene(320, 240));
    EXPECT_EQ(hash_file(scene_png), 0xac631ad96c3bc364ull);
    const std::string scene_big = temp_path("pinned_scene_big.png");
    testsupport::write_image(scene_big, scene(1000, 700));  // reduced to 256 x 179 first
    EXPECT_EQ(hash_file(scene_big), 0xac631ad96c3bc364ull);

    // A RAW file: the camera's embedded JPEG is hashed.
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    EXPECT_EQ(hash_file(crw), 0xea27e44b9968f01bull);
}

TEST(Phash, PinnedHashesOfCorpusFiles) {
    REQUIRE_CORPUS();
    EXPECT_EQ(corpus_hash("jpeg/canon_eos_rp_MG_0631.JPG"), 0xabb5c84b3ce03d49ull);
    EXPECT_EQ(corpus_hash("jpeg/mei_apple_iphone5.jpg"), 0xa1960fd958e98937ull);
    EXPECT_EQ(corpus_hash("raw/kodak_dc120_P003908.KDC"), 0xb624c8d83cf3c327ull);  // bitmap thumbnail
    EXPECT_EQ(corpus_hash("raw/canon_powershot_s40_CRW_0101.CRW"), 0xeb37c44b9568c09dull);
}

TEST(Phash, UniformAndBitCounts) {
    const std::string black = temp_path("black.png");
    testsupport::write_image(black, cv::Mat(40, 60, CV_8UC3, cv::Scalar::all(0)));
    uint64_t h = 123;
    ASSERT_EQ(vantorix_phash(black.c_str(), &h), 0);
    EXPECT_EQ(h, 0u);

    // At most 31 of the 63 other coefficients lie above their median, plus the DC bit.
    cv::RNG rng(11);
    for (int i = 0; i < 40; ++i) {
        cv::Mat img(16 + i * 7, 200 - i * 3, CV_8UC1);
        rng.fill(img, cv::RNG::UNIFORM, 0, 256);
        if (i % 2) cv::GaussianBlur(img, img, cv::Size(0, 0), 1.0 + i * 0.2);
        const uint64_t hash = vantorix::phash_of_grey(img);
        EXPECT_LE(std::bitset<64>(hash).count(), 32u);
        EXPECT_LE(std::bitset<64>(hash & ~(uint64_t(1) << 63)).count(), 31u);
    }
}

TEST(Phash, PhotographsHaveTheDcBit) {
    REQUIRE_CORPUS();
    for (const char* rel : {"jpeg/canon_eos5d3_K6A7943.JPG", "jpeg/pentax_istdl_IMGP6667.JPG",
                            "jpeg/mei_fujifilm_ds7_1.jpg", "raw/kodak_dc50_DC0008L.KDC"}) {
        EXPECT_TRUE(corpus_hash(rel) >> 63) << rel;
    }
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    EXPECT_TRUE(hash_file(crw) >> 63);
}

TEST(Phash, SamePictureInOtherFormsIsNear) {
    // The camera's thumbnail of the sample RAW, and the synthetic scene.
    uint8_t* data = nullptr;
    uint32_t size = 0;
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    ASSERT_EQ(vantorix_extract_thumbnail(crw.c_str(), &data, &size), 0);
    const cv::Mat photo = cv::imdecode(std::vector<uint8_t>(data, data + size), cv::IMREAD_COLOR);
    vantorix_free_thumb(data);
    ASSERT_FALSE(photo.empty());

    int idx = 0;
    for (const cv::Mat& picture : {photo, scene(640, 480)}) {
        const std::string base = "near_" + std::to_string(idx++);
        testsupport::write_image(temp_path(base + ".png"), picture);
        testsupport::write_image(temp_path(base + "_q90.jpg"), picture, {cv::IMWRITE_JPEG_QUALITY, 90});
        cv::Mat half, stretched, big;
        cv::resize(picture, half, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
        cv::resize(picture, stretched, cv::Size(300, 200), 0, 0, cv::INTER_AREA);
        cv::resize(picture, big, cv::Size(), 1.5, 1.5, cv::INTER_CUBIC);
        testsupport::write_image(temp_path(base + "_half.png"), half);
        testsupport::write_image(temp_path(base + "_300x200.png"), stretched);
        testsupport::write_image(temp_path(base + "_big.png"), big);
        const uint64_t h = hash_file(temp_path(base + ".png"));
        for (const char* suffix : {"_q90.jpg", "_half.png", "_300x200.png", "_big.png"})
            EXPECT_LE(distance(h, hash_file(temp_path(base + suffix))), 4) << base << suffix;
    }
}

TEST(Phash, UnrelatedPhotographsAreFarApart) {
    REQUIRE_CORPUS();
    std::vector<uint64_t> hashes;
    for (const char* rel :
         {"jpeg/apple_iphone13pro_IMG_8568.JPG", "jpeg/canon_eos5d3_K6A7943.JPG", "jpeg/canon_eos_rp_MG_0631.JPG",
          "jpeg/canon_sx150is_IMG_1038.JPG", "jpeg/exifsamples_kodak_cx7530_gps_south.jpg",
          "jpeg/mei_apple_iphone5.jpg", "jpeg/mei_canon_eos20d_2.jpg", "jpeg/mei_fujifilm_ds7_1.jpg",
          "jpeg/mei_fujifilm_mx2900zoom.jpg", "jpeg/mei_samsung_gt-i9000.jpg", "jpeg/mei_sony_dsc-hx5v_2.jpg",
          "jpeg/pentax_istdl_IMGP6667.JPG", "jpeg/polaroid_pdc640m_POL_0132.JPG", "jpeg/sony_slt-a57_DSC8833.JPG",
          "raw/canon_powershot_s40_CRW_0101.CRW", "raw/kodak_dc120_P003911.KDC"})
        hashes.push_back(corpus_hash(rel));
    std::vector<int> d;
    for (size_t i = 0; i < hashes.size(); ++i)
        for (size_t j = i + 1; j < hashes.size(); ++j) d.push_back(distance(hashes[i], hashes[j]));
    std::sort(d.begin(), d.end());
    EXPECT_GE(d.front(), 10);           // far more than any re-encoding above (at most 4)
    EXPECT_GE(d[d.size() / 2], 24);     // typically about half the bits differ
}

TEST(Phash, RawThumbnailsAreHashed) {
    // JPEG thumbnail: the same hash as the JPEG file itself (no pre-scaling
    // applies below 256 pixels).
    testsupport::DngOptions o;
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.thumbnail = scene(200, 150);
    const std::string dng = temp_path("ph_jpeg.dng");
    ASSERT_TRUE(testsupport::write_dng(dng, o));
    const std::string jpg = temp_path("ph_jpeg_thumb.jpg");
    ASSERT_TRUE(testsupport::write_bytes(jpg, testsupport::dng_thumbnail_jpeg(o)));
    EXPECT_EQ(hash_file(dng), hash_file(jpg));

    // Bitmap thumbnail: red-green-blue samples converted to grey.
    o.thumb = testsupport::DngOptions::Thumb::bitmap;
    const std::string bmp_dng = temp_path("ph_bitmap.dng");
    ASSERT_TRUE(testsupport::write_dng(bmp_dng, o));
    cv::Mat grey, small;
    cv::cvtColor(o.thumbnail, grey, cv::COLOR_BGR2GRAY);
    cv::resize(grey, small, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
    EXPECT_EQ(hash_file(bmp_dng), reference_hash_32(small));
}

TEST(Phash, ThumbnailConversionForTheHash) {
    // A JPEG thumbnail that does not decode leaves the picture empty (-4 for the caller).
    std::vector<unsigned char> block(sizeof(libraw_processed_image_t) + 64, 0x42);
    auto* img = reinterpret_cast<libraw_processed_image_t*>(block.data());
    img->type = LIBRAW_IMAGE_JPEG;
    img->data_size = 64;
    cv::Mat grey(3, 3, CV_8UC1);
    EXPECT_EQ(vantorix::phash_grey_from_thumbnail(*img, grey), 0);
    EXPECT_TRUE(grey.empty());

    // A bitmap with four samples per pixel cannot be converted.
    img->type = LIBRAW_IMAGE_BITMAP;
    img->width = 4;
    img->height = 4;
    img->colors = 4;
    img->bits = 8;
    EXPECT_EQ(vantorix::phash_grey_from_thumbnail(*img, grey), -3);

    // Grey 16-bit samples.
    img->colors = 1;
    img->bits = 16;
    img->width = 4;
    img->height = 2;
    img->data_size = 16;
    uint16_t* samples = reinterpret_cast<uint16_t*>(img->data);
    for (int i = 0; i < 8; ++i) samples[i] = static_cast<uint16_t>(i * 257 * 30);
    ASSERT_EQ(vantorix::phash_grey_from_thumbnail(*img, grey), 0);
    ASSERT_EQ(grey.type(), CV_8UC1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(grey.at<uint8_t>(i / 4, i % 4), i * 30);
}

TEST(Phash, Failures) {
    uint64_t h = 77;
    EXPECT_EQ(vantorix_phash(nullptr, &h), -1);
    EXPECT_EQ(h, 77u);
    EXPECT_EQ(vantorix_phash("x.png", nullptr), -1);

    const std::string text_jpg = temp_path("text.jpg");
    ASSERT_TRUE(testsupport::write_bytes(text_jpg, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}));
    h = 77;
    EXPECT_EQ(vantorix_phash(text_jpg.c_str(), &h), -1);
    EXPECT_EQ(h, 0u);
    const std::string text_arw = temp_path("text.arw");
    ASSERT_TRUE(testsupport::write_bytes(text_arw, {'n', 'o', 't', ' ', 'a', ' ', 'r', 'a', 'w'}));
    h = 77;
    EXPECT_EQ(vantorix_phash(text_arw.c_str(), &h), -1);
    EXPECT_EQ(h, 0u);
    h = 77;
    EXPECT_EQ(vantorix_phash(temp_path("missing.png").c_str(), &h), -1);
    EXPECT_EQ(h, 0u);
    const std::string empty = temp_path("empty.png");
    ASSERT_TRUE(testsupport::write_bytes(empty, {}));
    EXPECT_EQ(vantorix_phash(empty.c_str(), &h), -1);

    // A RAW file without an embedded thumbnail.
    testsupport::DngOptions o;
    const std::string bare = temp_path("bare.dng");
    ASSERT_TRUE(testsupport::write_dng(bare, o));
    h = 77;
    EXPECT_EQ(vantorix_phash(bare.c_str(), &h), -2);
    EXPECT_EQ(h, 0u);
}

TEST(Phash, OddShapesAndDepths) {
    // Very elongated pictures keep at least one pixel per side when reduced.
    for (const cv::Size& size : {cv::Size(3000, 5), cv::Size(2, 2000), cv::Size(1, 1)}) {
        const std::string p = temp_path("odd_" + std::to_string(size.width) + "x" + std::to_string(size.height) + ".png");
        cv::Mat img(size, CV_8UC3);
        cv::randu(img, 0, 256);
        testsupport::write_image(p, img);
        uint64_t h;
        EXPECT_EQ(vantorix_phash(p.c_str(), &h), 0) << p;
    }
    // 16-bit files are read as 8-bit grey.
    cv::Mat wide(64, 48, CV_16UC3);
    cv::randu(wide, 0, 65536);
    const std::string p16 = temp_path("wide16.png");
    testsupport::write_image(p16, wide);
    cv::Mat grey8 = cv::imread(p16, cv::IMREAD_GRAYSCALE), small;
    cv::resize(grey8, small, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
    EXPECT_EQ(hash_file(p16), reference_hash_32(small));
}

TEST(Phash, ConcurrentCallsAgree) {
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    const std::string png = temp_path("threads_scene.png");
    testsupport::write_image(png, scene(400, 300));
    const uint64_t expect_crw = hash_file(crw), expect_png = hash_file(png);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                uint64_t a = 0, b = 0;
                if (vantorix_phash(crw.c_str(), &a) != 0 || a != expect_crw) ++mismatches[t];
                if (vantorix_phash(png.c_str(), &b) != 0 || b != expect_png) ++mismatches[t];
            }
        });
    for (auto& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}
