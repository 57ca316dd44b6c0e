// The EXIF summary on real camera files: JPEGs against the values of the
// corpus's reference list, and the RAW fallback.
#include <libraw/libraw.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "output/exif_reader.h"
#include "support/test_support.h"

using testsupport::Context;

namespace {

// A small JSON reader, enough for the reference list: objects, arrays,
// strings (simple escapes), numbers, true/false/null.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        static const Json null_value;
        auto it = fields.find(key);
        return it == fields.end() ? null_value : it->second;
    }
    bool is_null() const { return kind == Null; }
    // Numbers, also when the list gives them as text ("0.0059", "100 0": the first number).
    double as_number() const { return kind == Number ? number : std::strtod(text.c_str(), nullptr); }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : s_(s) {}
    Json parse() {
        Json v = value();
        skip();
        if (pos_ != s_.size()) fail();
        return v;
    }

private:
    const std::string& s_;
    size_t pos_ = 0;

    [[noreturn]] void fail() { throw std::runtime_error("bad JSON at " + std::to_string(pos_)); }
    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool eat(char c) {
        skip();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::string string_value() {
        if (!eat('"')) fail();
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c == '\\') {
                if (pos_ >= s_.size()) fail();
                const char e = s_[pos_++];
                if (e == 'n') c = '\n';
                else if (e == 't') c = '\t';
                else if (e == 'u') {
                    const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(pos_, 4), nullptr, 16));
                    pos_ += 4;
                    if (code < 0x80) c = static_cast<char>(code);
                    else fail();  // not needed by the list
                } else c = e;
            }
            out.push_back(c);
        }
        if (!eat('"')) fail();
        return out;
    }
    Json value() {
        skip();
        Json v;
        if (pos_ >= s_.size()) fail();
        const char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            v.kind = Json::Object;
            if (eat('}')) return v;
            do {
                skip();
                std::string key = string_value();
                if (!eat(':')) fail();
                v.fields[key] = value();
            } while (eat(','));
            if (!eat('}')) fail();
        } else if (c == '[') {
            ++pos_;
            v.kind = Json::Array;
            if (eat(']')) return v;
            do v.items.push_back(value());
            while (eat(','));
            if (!eat(']')) fail();
        } else if (c == '"') {
            v.kind = Json::String;
            v.text = string_value();
        } else if (s_.compare(pos_, 4, "null") == 0) {
            pos_ += 4;
        } else if (s_.compare(pos_, 4, "true") == 0 || s_.compare(pos_, 5, "false") == 0) {
            v.kind = Json::Bool;
            v.number = s_[pos_] == 't';
            pos_ += s_[pos_] == 't' ? 4 : 5;
        } else {
            char* end = nullptr;
            v.kind = Json::Number;
            v.number = std::strtod(s_.c_str() + pos_, &end);
            if (end == s_.c_str() + pos_) fail();
            pos_ = static_cast<size_t>(end - s_.c_str());
        }
        return v;
    }
};

Json load_reference() {
    std::ifstream f(testsupport::corpus_dir() + "/exif-reference.json");
    std::stringstream ss;
    ss << f.rdbuf();
    return JsonParser(ss.str()).parse();
}

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void expect_near_rel(double actual, double expected, double rel, const char* what) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * rel + 1e-9) << what;
}

}  // namespace

// Every JPEG of the corpus against the reference list (values as the list
// gives them: FNumber, else ApertureValue as an f-number; ExposureTime, else
// ShutterSpeedValue as seconds; null for absent tags).
TEST(ExifCorpus, JpegsMatchTheReferenceList) {
    REQUIRE_CORPUS();
    const Json ref = load_reference();
    const Json& files = ref["files"];
    ASSERT_GE(files.fields.size(), 14u);
    for (const auto& [rel, exp] : files.fields) {
        SCOPED_TRACE(rel);
        ExifSummary s;
        ASSERT_TRUE(vantorix::read_exif_summary(testsupport::corpus_dir() + "/" + rel, s));
        // The POL_0132 camera wrote Make, Model and Orientation into the EXIF
        // IFD, where they are not looked up (libexif does not even keep them
        // there); the reference list reports them from anywhere.
        const bool misplaced_ifd0_tags = rel == "jpeg/polaroid_pdc640m_POL_0132.JPG";
        // libexif keeps the trailing blanks some cameras pad with; the list trims them.
        EXPECT_EQ(trimmed(s.make), misplaced_ifd0_tags ? "" : exp["make"].text);
        EXPECT_EQ(trimmed(s.model), misplaced_ifd0_tags ? "" : exp["model"].text);
        EXPECT_EQ(std::string(s.lens), exp["lens_model"].is_null() ? "" : exp["lens_model"].text);
        if (exp["focal_length_mm"].is_null())
            EXPECT_EQ(s.focal_length, 0.0f);
        else
            expect_near_rel(s.focal_length, exp["focal_length_mm"].as_number(), 1e-6, "focal length");
        if (!exp["f_number"].is_null())
            expect_near_rel(s.aperture, exp["f_number"].as_number(), 1e-6, "aperture (FNumber)");
        else if (!exp["aperture_value_apex_as_fnumber"].is_null())
            expect_near_rel(s.aperture, exp["aperture_value_apex_as_fnumber"].as_number(), 1e-5, "aperture (APEX)");
        else
            EXPECT_EQ(s.aperture, 0.0f);
        if (!exp["exposure_time_s"].is_null())
            expect_near_rel(s.exposure_time, exp["exposure_time_s"].as_number(), 1e-6, "exposure (ExposureTime)");
        else if (!exp["shutter_speed_value_as_seconds"].is_null())
            expect_near_rel(s.exposure_time, exp["shutter_speed_value_as_seconds"].as_number(), 1e-5,
                            "exposure (APEX)");
        else
            EXPECT_EQ(s.exposure_time, 0.0f);
        EXPECT_EQ(s.iso, exp["iso"].is_null() ? 0 : static_cast<int>(exp["iso"].as_number()));
        if (!exp["date_time_original"].is_null()) {
            EXPECT_EQ(std::string(s.datetime), exp["date_time_original"].text);
        }
        EXPECT_EQ(s.width, exp["pixel_x"].is_null() ? 0 : static_cast<int>(exp["pixel_x"].as_number()));
        EXPECT_EQ(s.height, exp["pixel_y"].is_null() ? 0 : static_cast<int>(exp["pixel_y"].as_number()));
        EXPECT_EQ(s.orientation, misplaced_ifd0_tags ? 0 : static_cast<int>(exp["orientation"].as_number()));
        if (exp["gps_lat"].is_null())
            EXPECT_TRUE(std::isnan(s.gps_latitude));
        else
            EXPECT_NEAR(s.gps_latitude, exp["gps_lat"].as_number(), 1e-9);
        if (exp["gps_lon"].is_null())
            EXPECT_TRUE(std::isnan(s.gps_longitude));
        else
            EXPECT_NEAR(s.gps_longitude, exp["gps_lon"].as_number(), 1e-9);
    }
}

// Through the public interface on small corpus files; a PNG, a TIFF and a
// WebP carry no EXIF that the reader finds.
TEST(ExifCorpus, PublicInterfaceOnRealFiles) {
    REQUIRE_CORPUS();
    Context ctx;
    ExifSummary s;
    ASSERT_EQ(vantorix_load_arw(ctx, CORPUS_FILE("jpeg/exifsamples_kodak_cx7530_gps_south.jpg").c_str(), 1), 0);
    ASSERT_EQ(vantorix_get_exif(ctx, &s), 0);
    EXPECT_STREQ(s.make, "EASTMAN KODAK COMPANY");
    EXPECT_NEAR(s.gps_latitude, -0.3713, 1e-9);
    EXPECT_EQ(s.width, 100);  // stored as two SHORTs; the first is the width

    for (const char* rel : {"other/mei_bmp_programming_24bit.bmp", "other/mei_webp_nikon_d1x_exif.webp",
                            "other/libtiff_flower-rgb-contig-16.tif"}) {
        SCOPED_TRACE(rel);
        ASSERT_EQ(vantorix_load_arw(ctx, CORPUS_FILE(rel).c_str(), 1), 0);
        std::memset(&s, 0x11, sizeof s);
        ASSERT_EQ(vantorix_get_exif(ctx, &s), 0);
        EXPECT_EQ(s.make[0], 0);
        EXPECT_EQ(s.width, 0);
        EXPECT_EQ(s.iso, 0);
        EXPECT_TRUE(std::isnan(s.gps_latitude));
    }
}

// A RAW file without an EXIF block that libexif reads: the record comes from
// the development's shooting data (compared with what LibRaw reports).
TEST(ExifCorpus, RawFallbackAfterLoadingARaw) {
    const std::string crw = testsupport::source_dir() + "/samples/canon_powershot_g2_CRW_0304.CRW";
    auto lr = std::make_unique<LibRaw>(0);
    ASSERT_EQ(lr->open_file(crw.c_str()), 0);
    const float iso = lr->imgdata.other.iso_speed, shutter = lr->imgdata.other.shutter,
                aperture = lr->imgdata.other.aperture, focal = lr->imgdata.other.focal_len;
    const int flip = lr->imgdata.sizes.flip;
    lr.reset();

    Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, crw.c_str(), 4), 0) << vantorix_last_error(ctx);
    ExifSummary s;
    std::memset(&s, 0x77, sizeof s);
    ASSERT_EQ(vantorix_get_exif(ctx, &s), 0);
    EXPECT_STREQ(s.make, "Canon");
    EXPECT_STREQ(s.model, "PowerShot G2");
    EXPECT_EQ(s.lens[0], 0);
    EXPECT_EQ(s.datetime[0], 0);
    EXPECT_EQ(s.iso, static_cast<int>(iso));
    EXPECT_GT(s.iso, 0);
    EXPECT_EQ(s.exposure_time, shutter);
    EXPECT_EQ(s.aperture, aperture);
    EXPECT_EQ(s.focal_length, focal);
    EXPECT_EQ(s.orientation, flip);
    // The developed size: half-size 1156 x 860 halved again at level 4.
    EXPECT_EQ(s.width, 578);
    EXPECT_EQ(s.height, 430);
    EXPECT_EQ(s.width, vantorix_get_width(ctx));
    EXPECT_TRUE(std::isnan(s.gps_latitude));
    EXPECT_TRUE(std::isnan(s.gps_longitude));

    // Loading an ordinary file afterwards resets the shooting data.
    const std::string png = testsupport::temp_path("after_raw.png");
    testsupport::write_image(png, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9)));
    ASSERT_EQ(vantorix_load_arw(ctx, png.c_str(), 1), 0);
    ASSERT_EQ(vantorix_get_exif(ctx, &s), 0);
    EXPECT_EQ(s.make[0], 0);
    EXPECT_EQ(s.iso, 0);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.orientation, 0);
}

TEST(ExifCorpus, FallbackIsoConversionIsSafe) {
    vantorix::RawImage raw;
    ExifSummary s;
    for (float iso : {std::nanf(""), 1e20f, -1e20f, 3e9f}) {
        raw.iso = iso;
        vantorix::fill_from_raw(raw, s);
        EXPECT_EQ(s.iso, 0) << iso;
    }
    raw.iso = 199.9f;
    vantorix::fill_from_raw(raw, s);
    EXPECT_EQ(s.iso, 199);
    raw.iso = -3.7f;
    vantorix::fill_from_raw(raw, s);
    EXPECT_EQ(s.iso, -3);
}
