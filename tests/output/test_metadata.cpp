// The EXIF summary (written test files, the corpus against exiftool's values,
// the RAW fallback) and thumbnail extraction.
#include <libraw/libraw.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "output/exif_reader.h"
#include "io/thumb_support.h"
#include "support/dng_writer.h"
#include "support/tiff_writer.h"
#include "support/test_support.h"

using testsupport::Context;
using testsupport::ExifBlock;
using testsupport::temp_path;

namespace {

ExifSummary summary_of(const std::string& path) {
    Context ctx;
    ExifSummary rec;
    std::memset(&rec, 0xAB, sizeof rec);  // every field the call leaves alone shows
    EXPECT_TRUE(vantorix_load_arw(ctx, path.c_str(), 4) == 0 && vantorix_get_exif(ctx, &rec) == 0) << vantorix_last_error(ctx);
    return rec;
}

// Status of vantorix_extract_thumbnail and the bytes on success.
std::vector<uint8_t> thumbnail(const std::string& path, int expected_status = 0) {
    uint8_t* data = reinterpret_cast<uint8_t*>(&data);  // not null: the call must reset it
    uint32_t size = 12345;
    EXPECT_EQ(vantorix_extract_thumbnail(path.c_str(), &data, &size), expected_status) << path;
    std::vector<uint8_t> out(data, data + (data ? size : 0));
    if (expected_status != 0) { EXPECT_TRUE(data == nullptr && size == 0) << path; }
    vantorix_free_thumb(data);
    return out;
}

}  // namespace

// A file without EXIF: zeros for an ordinary image; for a RAW file, what the
// development reported.
TEST(ExifSummary, FilesWithoutExif) {
    testsupport::write_image(temp_path("plain.png"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9)));
    const ExifSummary p = summary_of(temp_path("plain.png"));
    EXPECT_TRUE(p.make[0] == 0 && p.lens[0] == 0 && p.datetime[0] == 0 && p.iso == 0 && p.width == 0 && p.orientation == 0 &&
                p.focal_length == 0 && p.aperture == 0 && p.exposure_time == 0 && std::isnan(p.gps_latitude) && std::isnan(p.gps_longitude));
    auto lr = std::make_unique<LibRaw>(0);
    ASSERT_EQ(lr->open_file(testsupport::sample_crw().c_str()), 0);
    const libraw_imgother_t& other = lr->imgdata.other;
    const ExifSummary s = summary_of(testsupport::sample_crw());
    EXPECT_TRUE(std::string(s.make) == "Canon" && std::string(s.model) == "PowerShot G2");
    EXPECT_TRUE(s.iso == static_cast<int>(other.iso_speed) && s.exposure_time == other.shutter && s.aperture == other.aperture &&
                s.focal_length == other.focal_len && s.orientation == lr->imgdata.sizes.flip);
    EXPECT_EQ(cv::Size(s.width, s.height), cv::Size(578, 430));  // the developed size at level 4
}

// Every corpus JPEG against the values exiftool reports.
TEST(ExifSummary, CorpusAgainstExiftool) {
    REQUIRE_CORPUS();
    std::ifstream f(testsupport::corpus_dir() + "/exif-reference.json");
    const nlohmann::json files = nlohmann::json::parse(f)["files"];
    ASSERT_GE(files.size(), 14u);
    // Numbers, also where the list gives text ("100 0": the first number); 0 when absent.
    auto num = [](const nlohmann::json& v) {
        return v.is_null() ? 0.0 : v.is_number() ? v.get<double>() : std::strtod(v.get<std::string>().c_str(), nullptr);
    };
    auto text = [](const nlohmann::json& v) { return v.is_null() ? std::string() : v.get<std::string>(); };
    for (const auto& [rel, e] : files.items()) {
        SCOPED_TRACE(rel);
        ExifSummary s;
        ASSERT_TRUE(vantorix::read_exif_summary(testsupport::corpus_dir() + "/" + rel, s));
        // This camera wrote Make, Model and Orientation into the EXIF IFD, where they are not read.
        const bool misplaced = rel == "jpeg/polaroid_pdc640m_POL_0132.JPG";
        std::string make = s.make, model = s.model;
        make.erase(make.find_last_not_of(' ') + 1);  // exiftool trims the padding
        model.erase(model.find_last_not_of(' ') + 1);
        EXPECT_EQ(make + "|" + model + "|" + s.lens, (misplaced ? "|" : text(e["make"]) + "|" + text(e["model"])) + "|" + text(e["lens_model"]));
        const double aperture = num(e["f_number"]) ? num(e["f_number"]) : num(e["aperture_value_apex_as_fnumber"]);
        const double exposure = num(e["exposure_time_s"]) ? num(e["exposure_time_s"]) : num(e["shutter_speed_value_as_seconds"]);
        EXPECT_TRUE(std::fabs(s.focal_length - num(e["focal_length_mm"])) < 1e-5 && std::fabs(s.aperture - aperture) <= aperture * 1e-5 &&
                    std::fabs(s.exposure_time - exposure) <= exposure * 1e-5) << s.focal_length << " " << s.aperture << " " << s.exposure_time;
        EXPECT_TRUE(s.iso == int(num(e["iso"])) && s.width == int(num(e["pixel_x"])) && s.height == int(num(e["pixel_y"])) &&
                    s.orientation == (misplaced ? 0 : int(num(e["orientation"])))) << s.iso << " " << s.width << " x " << s.height;
        EXPECT_TRUE(e["date_time_original"].is_null() || s.datetime == text(e["date_time_original"])) << s.datetime;
        for (auto [got, key] : {std::pair<double, const char*>{s.gps_latitude, "gps_lat"}, {s.gps_longitude, "gps_lon"}})
            EXPECT_TRUE(e[key].is_null() ? std::isnan(got) : std::fabs(got - num(e[key])) < 1e-9) << key << " " << got;
    }
}

TEST(Thumbnail, OrdinaryImagesAreReducedTo160) {
    for (auto [w, h, tw, th] : {std::tuple<int, int, int, int>{800, 600, 160, 120}, {150, 2000, 12, 160}, {4000, 3, 160, 1}, {120, 90, 120, 90}}) {
        cv::Mat img(h, w, CV_8UC3);
        cv::randu(img, 0, 256);
        testsupport::write_image(temp_path("thumb.png"), img);
        const std::vector<uint8_t> jpeg = thumbnail(temp_path("thumb.png"));
        EXPECT_EQ(cv::imdecode(jpeg, cv::IMREAD_COLOR).size(), cv::Size(tw, th));
    }
}

TEST(Thumbnail, EmbeddedThumbnails) {
    // A camera-style embedded JPEG (with an EXIF segment) comes back byte for byte.
    std::vector<uint8_t> plain;
    cv::Mat pic(120, 160, CV_8UC3);
    cv::randu(pic, 0, 256);
    cv::imencode(".jpg", pic, plain, {cv::IMWRITE_JPEG_QUALITY, 85});
    ExifBlock block;
    testsupport::DngOptions o;
    o.thumb = testsupport::DngOptions::Thumb::jpeg;
    o.jpeg_bytes = testsupport::insert_app1(plain, block.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Embedded").serialise());
    ASSERT_TRUE(testsupport::write_dng(temp_path("embedded.dng"), o));
    EXPECT_EQ(thumbnail(temp_path("embedded.dng")), o.jpeg_bytes);
    // The sample RAW: exactly the bytes LibRaw gives for its thumbnail.
    auto lr = std::make_unique<LibRaw>(0);
    int err = 0;
    ASSERT_TRUE(lr->open_file(testsupport::sample_crw().c_str()) == 0 && lr->unpack_thumb() == 0);
    libraw_processed_image_t* img = lr->dcraw_make_mem_thumb(&err);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(thumbnail(testsupport::sample_crw()), std::vector<uint8_t>(img->data, img->data + img->data_size));
    LibRaw::dcraw_clear_mem(img);
    // Failures: null arguments leave the out-values; other failures reset them.
    uint8_t* data = nullptr;
    uint32_t size = 7;
    EXPECT_TRUE(vantorix_extract_thumbnail(nullptr, &data, &size) == -1 && size == 7);
    EXPECT_EQ(vantorix_extract_thumbnail(testsupport::sample_crw().c_str(), &data, nullptr), -1);
    testsupport::write_bytes(temp_path("text.jpg"), {'t', 'e', 'x', 't'});
    testsupport::write_bytes(temp_path("text.arw"), {'t', 'e', 'x', 't'});
    o.jpeg_bytes.assign(plain.begin(), plain.begin() + 200);  // cut short: LibRaw makes nothing of it
    ASSERT_TRUE(testsupport::write_dng(temp_path("bare.dng"), testsupport::DngOptions()) && testsupport::write_dng(temp_path("cut.dng"), o));
    for (auto [file, code] : {std::pair<const char*, int>{"text.jpg", -1}, {"text.arw", -1}, {"missing.nef", -1}, {"bare.dng", -2}, {"cut.dng", -3}})
        thumbnail(temp_path(file), code);
    vantorix_free_thumb(nullptr);
}

// LibRaw's in-memory bitmaps: layouts that do not match their size give nothing.
TEST(Thumbnail, BitmapLayouts) {
    auto convert = [](LibRaw_image_formats type, int w, int h, int colors, int bits, std::vector<uint8_t> data) {
        std::vector<unsigned char> block(sizeof(libraw_processed_image_t) + data.size());
        auto* img = reinterpret_cast<libraw_processed_image_t*>(block.data());
        *img = libraw_processed_image_t{type, ushort(h), ushort(w), ushort(colors), ushort(bits), unsigned(data.size()), {0}};
        std::memcpy(img->data, data.data(), data.size());
        return vantorix::thumb_bitmap_to_8bit(*img);
    };
    std::vector<uint8_t> rgb(18);
    for (int i = 0; i < 18; ++i) rgb[i] = uint8_t(i * 10);
    EXPECT_EQ(convert(LIBRAW_IMAGE_BITMAP, 3, 2, 3, 8, rgb).at<cv::Vec3b>(1, 2), cv::Vec3b(150, 160, 170));
    EXPECT_EQ(convert(LIBRAW_IMAGE_BITMAP, 2, 1, 3, 16, {0, 0, 1, 1, 255, 255, 128, 128, 128, 0, 129, 0}).at<cv::Vec3b>(0, 1), cv::Vec3b(128, 0, 1));
    EXPECT_EQ(convert(LIBRAW_IMAGE_BITMAP, 2, 2, 1, 8, {1, 2, 3, 4}).at<uint8_t>(1, 1), 4);
    for (auto [type, w, h, colors, bits] : {std::tuple<LibRaw_image_formats, int, int, int, int>{LIBRAW_IMAGE_JPEG, 3, 2, 3, 8},
                                            {LIBRAW_IMAGE_BITMAP, 0, 2, 3, 8}, {LIBRAW_IMAGE_BITMAP, 3, 0, 3, 8}, {LIBRAW_IMAGE_BITMAP, 3, 2, 4, 8},
                                            {LIBRAW_IMAGE_BITMAP, 3, 2, 3, 12}, {LIBRAW_IMAGE_BITMAP, 3, 2, 3, 16},  // too few bytes
                                            {LIBRAW_IMAGE_BITMAP, 65535, 65535, 3, 16}})
        EXPECT_TRUE(convert(type, w, h, colors, bits, rgb).empty()) << w << " x " << h << ", " << colors << " x " << bits;
}
