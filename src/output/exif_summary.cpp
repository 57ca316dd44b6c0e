// The EXIF summary record: the shooting data of a file's EXIF block, read
// with libexif, or the shooting data a RAW file reported.
#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include <math.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "output/exif_carry.h"
#include "output/exif_reader.h"

// The record crosses the interface by value layout: the host and the library
// must agree on every offset.
static_assert(offsetof(ExifSummary, make) == 0, "ExifSummary layout");
static_assert(offsetof(ExifSummary, model) == 64, "ExifSummary layout");
static_assert(offsetof(ExifSummary, lens) == 128, "ExifSummary layout");
static_assert(offsetof(ExifSummary, focal_length) == 256, "ExifSummary layout");
static_assert(offsetof(ExifSummary, aperture) == 260, "ExifSummary layout");
static_assert(offsetof(ExifSummary, exposure_time) == 264, "ExifSummary layout");
static_assert(offsetof(ExifSummary, iso) == 268, "ExifSummary layout");
static_assert(offsetof(ExifSummary, datetime) == 272, "ExifSummary layout");
static_assert(offsetof(ExifSummary, width) == 304, "ExifSummary layout");
static_assert(offsetof(ExifSummary, height) == 308, "ExifSummary layout");
static_assert(offsetof(ExifSummary, orientation) == 312, "ExifSummary layout");
static_assert(offsetof(ExifSummary, gps_latitude) == 320, "ExifSummary layout");
static_assert(offsetof(ExifSummary, gps_longitude) == 328, "ExifSummary layout");
static_assert(sizeof(ExifSummary) == 336, "ExifSummary layout");
static_assert(alignof(ExifSummary) == 8, "ExifSummary layout");
static_assert(sizeof(float) == 4 && sizeof(double) == 8 && std::numeric_limits<double>::has_quiet_NaN,
              "ExifSummary layout");

namespace vantorix {

namespace {

struct ExifDataDeleter {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

struct ExifLoaderDeleter {
    void operator()(ExifLoader* l) const { exif_loader_unref(l); }
};

// Bounded copy into a zeroed field: at most N - 1 characters, always terminated.
template <size_t N>
void copy_text(char (&dst)[N], const char* src) {
    std::memset(dst, 0, N);
    if (src) std::memcpy(dst, src, strnlen(src, N - 1));
}

// Reads the file's EXIF block. The entries are kept as the file stores them:
// libexif's own repairs (which, among others, squeeze a LONG ISO value into a
// SHORT) are switched off, and every field checks the format it reads.
ExifDataPtr load_exif_data(const std::string& path) {
    std::unique_ptr<ExifLoader, ExifLoaderDeleter> loader(exif_loader_new());
    if (!loader) return nullptr;
    feed_exif_loader(loader.get(), path);
    const unsigned char* buf = nullptr;
    unsigned int size = 0;
    exif_loader_get_buf(loader.get(), &buf, &size);
    if (!buf || size == 0) return nullptr;
    ExifDataPtr data(exif_data_new());
    if (!data) return nullptr;
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), buf, size);
    return data;
}

ExifEntry* entry_in(ExifData* data, ExifIfd ifd, ExifTag tag) {
    return exif_content_get_entry(data->ifd[ifd], tag);
}

// Does the entry hold `count` values of `unit` bytes, all inside its data?
bool holds(const ExifEntry* e, size_t unit, size_t count) {
    return e && e->data && e->components >= count && e->size >= unit * count &&
           static_cast<size_t>(e->size) >= unit * static_cast<size_t>(e->components);
}

// First rational of a RATIONAL or SRATIONAL entry as a single-precision
// quotient (0 for a zero denominator). False when the entry holds no rational.
bool first_rational(const ExifEntry* e, ExifByteOrder order, float& out) {
    if (!holds(e, 8, 1)) return false;
    if (e->format == EXIF_FORMAT_RATIONAL) {
        const ExifRational r = exif_get_rational(e->data, order);
        out = r.denominator == 0 ? 0.0f : static_cast<float>(r.numerator) / static_cast<float>(r.denominator);
        return true;
    }
    if (e->format == EXIF_FORMAT_SRATIONAL) {
        const ExifSRational r = exif_get_srational(e->data, order);
        out = r.denominator == 0 ? 0.0f : static_cast<float>(r.numerator) / static_cast<float>(r.denominator);
        return true;
    }
    return false;
}

// First value of a SHORT or LONG entry, when it fits a signed 32-bit field.
bool first_unsigned(const ExifEntry* e, ExifByteOrder order, int32_t& out) {
    if (!e) return false;
    if (e->format == EXIF_FORMAT_SHORT && holds(e, 2, 1)) {
        out = exif_get_short(e->data, order);
        return true;
    }
    if (e->format == EXIF_FORMAT_LONG && holds(e, 4, 1)) {
        const ExifLong v = exif_get_long(e->data, order);
        if (v > static_cast<ExifLong>(std::numeric_limits<int32_t>::max())) return false;
        out = static_cast<int32_t>(v);
        return true;
    }
    return false;
}

template <size_t N>
void copy_entry_text(char (&dst)[N], ExifEntry* e) {
    if (!e) return;
    char buf[256] = {};
    exif_entry_get_value(e, buf, sizeof buf);
    buf[sizeof buf - 1] = '\0';
    copy_text(dst, buf);
}

// GPS tags 1..4 share their numbers with other IFDs' tags: the entry is looked
// up in all five IFDs (the first hit wins) and is GPS data only when it has
// the GPS format.
ExifEntry* gps_entry(ExifData* data, int tag) {
    static const ExifIfd kOrder[] = {EXIF_IFD_0, EXIF_IFD_1, EXIF_IFD_EXIF, EXIF_IFD_GPS,
                                     EXIF_IFD_INTEROPERABILITY};
    for (ExifIfd ifd : kOrder) {
        if (ExifEntry* e = entry_in(data, ifd, static_cast<ExifTag>(tag))) return e;
    }
    return nullptr;
}

double gps_coordinate(ExifData* data, ExifByteOrder order, int value_tag, int ref_tag) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ExifEntry* value = gps_entry(data, value_tag);
    if (!value || value->format != EXIF_FORMAT_RATIONAL || !holds(value, 8, 3)) return nan;
    double parts[3];
    for (int i = 0; i < 3; ++i) {
        const ExifRational r = exif_get_rational(value->data + 8 * i, order);
        parts[i] = r.denominator == 0 ? 0.0 : static_cast<double>(r.numerator) / static_cast<double>(r.denominator);
    }
    double degrees = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
    ExifEntry* ref = gps_entry(data, ref_tag);
    if (ref && ref->format == EXIF_FORMAT_ASCII && ref->data && ref->size > 0) {
        char buf[8] = {};
        exif_entry_get_value(ref, buf, sizeof buf);
        if (buf[0] == 'S' || buf[0] == 'W') degrees = -degrees;
    }
    return degrees;
}

void clear_record(ExifSummary& rec) {
    std::memset(&rec, 0, sizeof rec);
    rec.gps_latitude = std::numeric_limits<double>::quiet_NaN();
    rec.gps_longitude = std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

namespace {

// The summary of parsed EXIF data.
void summarize(ExifData* d, ExifSummary& rec) {
    const ExifByteOrder order = exif_data_get_byte_order(d);

    copy_entry_text(rec.make, entry_in(d, EXIF_IFD_0, EXIF_TAG_MAKE));
    copy_entry_text(rec.model, entry_in(d, EXIF_IFD_0, EXIF_TAG_MODEL));
    copy_entry_text(rec.lens, entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL));
    if (ExifEntry* original = entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL))
        copy_entry_text(rec.datetime, original);
    else
        copy_entry_text(rec.datetime, entry_in(d, EXIF_IFD_0, EXIF_TAG_DATE_TIME));

    float v = 0.0f;
    if (first_rational(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH), order, v)) rec.focal_length = v;

    if (const ExifEntry* fnumber = entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_FNUMBER)) {
        if (first_rational(fnumber, order, v)) rec.aperture = v;
    } else if (first_rational(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE), order, v)) {
        rec.aperture = powf(2.0f, v / 2.0f);
    }

    if (const ExifEntry* exposure = entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME)) {
        if (first_rational(exposure, order, v)) rec.exposure_time = v;
    } else if (first_rational(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE), order, v)) {
        rec.exposure_time = 1.0f / powf(2.0f, v);
    }

    int32_t n = 0;
    if (first_unsigned(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS), order, n)) rec.iso = n;
    if (first_unsigned(entry_in(d, EXIF_IFD_0, EXIF_TAG_ORIENTATION), order, n)) rec.orientation = n;
    if (first_unsigned(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), order, n)) rec.width = n;
    if (first_unsigned(entry_in(d, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), order, n)) rec.height = n;

    rec.gps_latitude = gps_coordinate(d, order, EXIF_TAG_GPS_LATITUDE, EXIF_TAG_GPS_LATITUDE_REF);
    rec.gps_longitude = gps_coordinate(d, order, EXIF_TAG_GPS_LONGITUDE, EXIF_TAG_GPS_LONGITUDE_REF);
}

}  // namespace

bool read_exif_summary(const std::string& path, ExifSummary& rec) {
    clear_record(rec);
    ExifDataPtr data = load_exif_data(path);
    if (!data) return false;
    summarize(data.get(), rec);
    return true;
}

bool summarize_tiff_structure(const uint8_t* tiff, size_t size, ExifSummary& rec) {
    clear_record(rec);
    if (size < 8 || size > 0xFFFFFFF0u) return false;
    // libexif takes a block that starts with the "Exif\0\0" header of a JPEG APP1 segment.
    std::vector<unsigned char> block(6 + size);
    std::memcpy(block.data(), "Exif\0\0", 6);
    std::memcpy(block.data() + 6, tiff, size);
    ExifDataPtr data(exif_data_new());
    if (!data) return false;
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), block.data(), static_cast<unsigned int>(block.size()));
    if (!data->ifd[EXIF_IFD_0] || (data->ifd[EXIF_IFD_0]->count == 0 && data->ifd[EXIF_IFD_EXIF]->count == 0))
        return false;
    summarize(data.get(), rec);
    return true;
}

void fill_from_raw(const ShootingData& raw, ExifSummary& rec) {
    clear_record(rec);
    copy_text(rec.make, raw.make);
    copy_text(rec.model, raw.model);
    rec.focal_length = raw.focal_length;
    rec.aperture = raw.aperture;
    rec.exposure_time = raw.exposure_time;
    // Truncation toward zero; NaN and values outside the field's range give 0.
    const float iso = raw.iso;
    if (iso > -2147483648.0f && iso < 2147483648.0f) rec.iso = static_cast<int32_t>(iso);
    rec.width = raw.width;
    rec.height = raw.height;
    rec.orientation = raw.orientation;
}

}  // namespace vantorix
