// The EXIF summary on JPEGs written by the tests with chosen entries.
#include <libexif/exif-data.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "support/test_support.h"
#include "test_exif_jpeg.h"

using exiftest::Block;
using testsupport::Context;

namespace {

constexpr int kLatRef = 1, kLat = 2, kLonRef = 3, kLon = 4;
constexpr int kInteropIndex = 1, kInteropVersion = 2;

// Loads `path` into a fresh context and reads the summary; the record starts
// filled with 0xAB bytes so that every field the call leaves alone shows.
ExifSummary summary_of(const std::string& path, int* status = nullptr) {
    Context ctx;
    ExifSummary rec;
    std::memset(&rec, 0xAB, sizeof rec);
    EXPECT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0) << vantorix_last_error(ctx);
    const int r = vantorix_get_exif(ctx, &rec);
    if (status)
        *status = r;
    else
        EXPECT_EQ(r, 0) << vantorix_last_error(ctx);
    return rec;
}

ExifSummary summary_of(const std::string& name, const Block& block) {
    return summary_of(exiftest::write_jpeg(name, block));
}

void expect_empty_text(const char* field, size_t size) {
    for (size_t i = 0; i < size; ++i) EXPECT_EQ(field[i], 0) << "byte " << i;
}

}  // namespace

TEST(ExifSummary, RecordLayoutIsFixed) {
    EXPECT_EQ(offsetof(ExifSummary, lens), 128u);
    EXPECT_EQ(offsetof(ExifSummary, focal_length), 256u);
    EXPECT_EQ(offsetof(ExifSummary, iso), 268u);
    EXPECT_EQ(offsetof(ExifSummary, datetime), 272u);
    EXPECT_EQ(offsetof(ExifSummary, orientation), 312u);
    EXPECT_EQ(offsetof(ExifSummary, gps_latitude), 320u);
    EXPECT_EQ(sizeof(ExifSummary), 336u);
}

TEST(ExifSummary, AllFieldsFromTheirTags) {
    for (ExifByteOrder order : {EXIF_BYTE_ORDER_MOTOROLA, EXIF_BYTE_ORDER_INTEL}) {
        SCOPED_TRACE(order == EXIF_BYTE_ORDER_MOTOROLA ? "big-endian" : "little-endian");
        Block b;
        b.order = order;
        b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker Inc.")
            .ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "Model X-1")
            .shorts(EXIF_IFD_0, EXIF_TAG_ORIENTATION, {6})
            .ascii(EXIF_IFD_0, EXIF_TAG_DATE_TIME, "2001:01:01 00:00:01")
            .ascii(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL, "Zoom 24-70mm f/2.8")
            .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, {{355, 10}})
            .rational(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, {{56, 10}})
            .rational(EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, {{2, 1}})
            .rational(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, {{1, 250}})
            .srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{3, 1}})
            .shorts(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, {800, 1600})
            .ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2023:09:01 17:20:08")
            .longs(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, {70000})
            .shorts(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, {4000})
            .ascii(EXIF_IFD_GPS, kLatRef, "N")
            .rational(EXIF_IFD_GPS, kLat, {{47, 1}, {37, 1}, {3780, 100}})
            .ascii(EXIF_IFD_GPS, kLonRef, "W")
            .rational(EXIF_IFD_GPS, kLon, {{122, 1}, {2024, 100}, {0, 1}});
        const ExifSummary s = summary_of(order == EXIF_BYTE_ORDER_MOTOROLA ? "all_mm.jpg" : "all_ii.jpg", b);
        EXPECT_STREQ(s.make, "Maker Inc.");
        EXPECT_STREQ(s.model, "Model X-1");
        EXPECT_STREQ(s.lens, "Zoom 24-70mm f/2.8");
        EXPECT_EQ(s.focal_length, 355.0f / 10.0f);
        EXPECT_EQ(s.aperture, 56.0f / 10.0f);  // FNumber beside ApertureValue
        EXPECT_EQ(s.exposure_time, 1.0f / 250.0f);  // ExposureTime beside ShutterSpeedValue
        EXPECT_EQ(s.iso, 800);
        EXPECT_STREQ(s.datetime, "2023:09:01 17:20:08");
        EXPECT_EQ(s.width, 70000);
        EXPECT_EQ(s.height, 4000);
        EXPECT_EQ(s.orientation, 6);
        EXPECT_NEAR(s.gps_latitude, 47.0 + 37.0 / 60.0 + 37.8 / 3600.0, 1e-12);
        EXPECT_NEAR(s.gps_longitude, -(122.0 + 20.24 / 60.0), 1e-12);
        // Text fields are zero-filled behind their terminator.
        expect_empty_text(s.make + 10, sizeof s.make - 10);
        expect_empty_text(s.datetime + 19, sizeof s.datetime - 19);
    }
}

TEST(ExifSummary, ApexFallbacks) {
    {
        Block b;
        b.rational(EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, {{3, 1}});
        b.srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{7, 1}});
        const ExifSummary s = summary_of("apex_7.jpg", b);
        EXPECT_NEAR(s.aperture, 2.0 * std::sqrt(2.0), 1e-6);  // 2^(3/2)
        EXPECT_EQ(s.exposure_time, 1.0f / 128.0f);
    }
    {
        Block b;
        b.srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{-1, 1}});
        const ExifSummary s = summary_of("apex_m1.jpg", b);
        EXPECT_EQ(s.exposure_time, 2.0f);
        EXPECT_EQ(s.aperture, 0.0f);
    }
    {
        // Little-endian, a fractional value: Tv = 13/2 gives 1/90.5 s; Av = 5 gives f/5.657.
        Block b;
        b.order = EXIF_BYTE_ORDER_INTEL;
        b.srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{13, 2}});
        b.rational(EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, {{50, 10}});
        const ExifSummary s = summary_of("apex_ii.jpg", b);
        EXPECT_NEAR(s.exposure_time, 1.0 / std::pow(2.0, 6.5), 1e-9);
        EXPECT_NEAR(s.aperture, std::pow(2.0, 2.5), 1e-5);
    }
}

TEST(ExifSummary, ZeroDenominatorsGiveZero) {
    Block b;
    b.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, {{50, 0}})
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, {{28, 0}})
        .srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, {{5, 0}})  // Tv 0: 1 s
        .rational(EXIF_IFD_GPS, kLat, {{10, 1}, {30, 0}, {36, 0}});
    const ExifSummary s = summary_of("zero_den.jpg", b);
    EXPECT_EQ(s.focal_length, 0.0f);
    EXPECT_EQ(s.aperture, 0.0f);
    EXPECT_EQ(s.exposure_time, 1.0f);
    EXPECT_EQ(s.gps_latitude, 10.0);
    EXPECT_TRUE(std::isnan(s.gps_longitude));
}

TEST(ExifSummary, DateTimeFallbackAndAbsence) {
    {
        Block b;
        b.ascii(EXIF_IFD_0, EXIF_TAG_DATE_TIME, "2019:12:31 23:59:59");
        EXPECT_STREQ(summary_of("dt_only.jpg", b).datetime, "2019:12:31 23:59:59");
    }
    {
        // DateTime in the EXIF IFD is not where it is looked up.
        Block b;
        b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "M");
        const ExifSummary s = summary_of("dt_none.jpg", b);
        expect_empty_text(s.datetime, sizeof s.datetime);
        EXPECT_STREQ(s.make, "M");
    }
}

TEST(ExifSummary, LongTextsAreCutAndTerminated) {
    const std::string long_text(300, 'x');
    Block b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, long_text)
        .ascii(EXIF_IFD_0, EXIF_TAG_MODEL, long_text)
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL, long_text)
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, long_text);
    const ExifSummary s = summary_of("long_text.jpg", b);
    EXPECT_EQ(std::string(s.make), std::string(63, 'x'));
    EXPECT_EQ(std::string(s.model), std::string(63, 'x'));
    EXPECT_EQ(std::string(s.lens), std::string(127, 'x'));
    EXPECT_EQ(std::string(s.datetime), std::string(31, 'x'));
}

TEST(ExifSummary, GpsSouthWestAndNorthEast) {
    Block b;
    b.ascii(EXIF_IFD_GPS, kLatRef, "S")
        .rational(EXIF_IFD_GPS, kLat, {{48, 1}, {30, 1}, {0, 1}})
        .ascii(EXIF_IFD_GPS, kLonRef, "E")
        .rational(EXIF_IFD_GPS, kLon, {{8, 1}, {21, 1}, {5630, 1000}});
    const ExifSummary s = summary_of("gps_s.jpg", b);
    EXPECT_EQ(s.gps_latitude, -48.5);
    EXPECT_NEAR(s.gps_longitude, 8.0 + 21.0 / 60.0 + 5.63 / 3600.0, 1e-12);

    // Without a reference the value stays positive.
    Block c;
    c.rational(EXIF_IFD_GPS, kLat, {{48, 1}, {30, 1}, {0, 1}});
    const ExifSummary t = summary_of("gps_noref.jpg", c);
    EXPECT_EQ(t.gps_latitude, 48.5);
    EXPECT_TRUE(std::isnan(t.gps_longitude));
}

TEST(ExifSummary, MalformedGpsEntriesAreNotGpsData) {
    {
        Block b;  // two components only
        b.ascii(EXIF_IFD_GPS, kLatRef, "S").rational(EXIF_IFD_GPS, kLat, {{48, 1}, {30, 1}});
        const ExifSummary s = summary_of("gps_two.jpg", b);
        EXPECT_TRUE(std::isnan(s.gps_latitude));
        EXPECT_TRUE(std::isnan(s.gps_longitude));
    }
    {
        // The Interoperability IFD's tags 1 and 2 ("R98" and a 4-byte version)
        // carry the numbers of the latitude reference and value.
        Block b;
        b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Interop")
            .ascii(EXIF_IFD_INTEROPERABILITY, kInteropIndex, "R98")
            .raw(EXIF_IFD_INTEROPERABILITY, kInteropVersion, EXIF_FORMAT_UNDEFINED, 4, {'0', '1', '0', '0'});
        const ExifSummary s = summary_of("interop.jpg", b);
        EXPECT_STREQ(s.make, "Interop");
        EXPECT_TRUE(std::isnan(s.gps_latitude));
        EXPECT_TRUE(std::isnan(s.gps_longitude));
    }
    {
        // Value as three SHORTs or as ASCII: not GPS data. A reference that is
        // not ASCII does not sign the value.
        Block b;
        b.shorts(EXIF_IFD_GPS, kLat, {48, 30, 0})
            .raw(EXIF_IFD_GPS, kLonRef, EXIF_FORMAT_BYTE, 2, {'W', 0})
            .rational(EXIF_IFD_GPS, kLon, {{1, 1}, {30, 1}, {0, 1}});
        const ExifSummary s = summary_of("gps_formats.jpg", b);
        EXPECT_TRUE(std::isnan(s.gps_latitude));
        EXPECT_EQ(s.gps_longitude, 1.5);
    }
    {
        // Real GPS data wins over the Interoperability IFD's entries.
        Block b;
        b.ascii(EXIF_IFD_GPS, kLatRef, "S")
            .rational(EXIF_IFD_GPS, kLat, {{10, 1}, {0, 1}, {0, 1}})
            .ascii(EXIF_IFD_INTEROPERABILITY, kInteropIndex, "R98")
            .raw(EXIF_IFD_INTEROPERABILITY, kInteropVersion, EXIF_FORMAT_UNDEFINED, 4, {'0', '1', '0', '0'});
        EXPECT_EQ(summary_of("gps_interop.jpg", b).gps_latitude, -10.0);
    }
}

TEST(ExifSummary, EntriesOfUnexpectedFormat) {
    {
        Block b;
        b.ascii(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, "2.8")  // a rational tag stored as text
            .rational(EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, {{4, 1}})
            .ascii(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, "50mm")
            .shorts(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, {1, 100})
            .longs(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, {102400})  // LONG: read as its value
            .ascii(EXIF_IFD_0, EXIF_TAG_ORIENTATION, "6")
            .ascii(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, "640")
            .rational(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, {{480, 1}});
        const ExifSummary s = summary_of("formats.jpg", b);
        EXPECT_EQ(s.aperture, 0.0f);  // the FNumber entry exists but holds no rational
        EXPECT_EQ(s.focal_length, 0.0f);
        EXPECT_EQ(s.exposure_time, 0.0f);
        EXPECT_EQ(s.iso, 102400);
        EXPECT_EQ(s.orientation, 0);
        EXPECT_EQ(s.width, 0);
        EXPECT_EQ(s.height, 0);
    }
    {
        // Entries without components, a LONG beyond the field's range, a
        // one-byte ISO.
        Block b;
        b.order = EXIF_BYTE_ORDER_INTEL;
        b.raw(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, EXIF_FORMAT_RATIONAL, 0, {})
            .raw(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, EXIF_FORMAT_SHORT, 0, {})
            .raw(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, EXIF_FORMAT_BYTE, 1, {50})
            .longs(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, {0x80000000u})
            .raw(EXIF_IFD_GPS, kLat, EXIF_FORMAT_RATIONAL, 0, {});
        const ExifSummary s = summary_of("empty_entries.jpg", b);
        EXPECT_EQ(s.aperture, 0.0f);
        EXPECT_EQ(s.iso, 0);
        EXPECT_EQ(s.focal_length, 0.0f);
        EXPECT_EQ(s.width, 0);
        EXPECT_TRUE(std::isnan(s.gps_latitude));
    }
}

TEST(ExifSummary, FileWithoutExif) {
    cv::Mat img(24, 40, CV_8UC3, cv::Scalar(1, 2, 3));
    const std::string png = testsupport::temp_path("noexif.png");
    testsupport::write_image(png, img);
    const std::string jpg = testsupport::temp_path("noexif.jpg");
    testsupport::write_image(jpg, img);
    for (const std::string& path : {png, jpg}) {
        SCOPED_TRACE(path);
        const ExifSummary s = summary_of(path);
        ExifSummary zero;
        std::memset(&zero, 0, sizeof zero);
        EXPECT_EQ(std::memcmp(&s, &zero, offsetof(ExifSummary, gps_latitude)), 0);
        EXPECT_TRUE(std::isnan(s.gps_latitude));
        EXPECT_TRUE(std::isnan(s.gps_longitude));
    }
}

TEST(ExifSummary, FailuresAndNoFileLoaded) {
    Context ctx;
    ExifSummary rec;
    std::memset(&rec, 0x5A, sizeof rec);
    EXPECT_EQ(vantorix_get_exif(nullptr, &rec), -1);
    EXPECT_EQ(vantorix_get_exif(ctx, nullptr), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "");

    EXPECT_EQ(vantorix_get_exif(ctx, &rec), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no file loaded");
    EXPECT_EQ(static_cast<unsigned char>(rec.make[0]), 0x5A);  // untouched on failure

    Block b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Loaded");
    const std::string path = exiftest::write_jpeg("unload.jpg", b);
    ASSERT_EQ(vantorix_load_arw(ctx, path.c_str(), 1), 0);
    ASSERT_EQ(vantorix_get_exif(ctx, &rec), 0);
    EXPECT_STREQ(rec.make, "Loaded");

    // A failed load keeps the earlier file.
    EXPECT_EQ(vantorix_load_arw(ctx, testsupport::temp_path("missing.jpg").c_str(), 1), -1);
    std::memset(&rec, 0, sizeof rec);
    ASSERT_EQ(vantorix_get_exif(ctx, &rec), 0);
    EXPECT_STREQ(rec.make, "Loaded");

    vantorix_unload(ctx);
    std::memset(&rec, 0x5A, sizeof rec);
    EXPECT_EQ(vantorix_get_exif(ctx, &rec), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "no file loaded");
    EXPECT_EQ(static_cast<unsigned char>(rec.make[0]), 0x5A);
}
