#include "support/dng_writer.h"

#include <algorithm>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

namespace testsupport {

namespace {

enum Type : uint16_t { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5, SRATIONAL = 10 };

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> data;  // little-endian value bytes
};

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

struct Ifd {
    std::vector<Entry> entries;

    void shorts(uint16_t tag, std::vector<uint32_t> values) {
        Entry e{tag, SHORT, static_cast<uint32_t>(values.size()), {}};
        for (uint32_t x : values) put16(e.data, x);
        entries.push_back(e);
    }
    void longs(uint16_t tag, std::vector<uint32_t> values) {
        Entry e{tag, LONG, static_cast<uint32_t>(values.size()), {}};
        for (uint32_t x : values) put32(e.data, x);
        entries.push_back(e);
    }
    void bytes(uint16_t tag, std::vector<uint8_t> values) {
        entries.push_back({tag, BYTE, static_cast<uint32_t>(values.size()), values});
    }
    void ascii(uint16_t tag, const std::string& s) {
        Entry e{tag, ASCII, static_cast<uint32_t>(s.size() + 1), std::vector<uint8_t>(s.begin(), s.end())};
        e.data.push_back(0);
        entries.push_back(e);
    }
    void rationals(uint16_t tag, uint16_t type, std::vector<std::pair<int32_t, int32_t>> values) {
        Entry e{tag, type, static_cast<uint32_t>(values.size()), {}};
        for (auto& r : values) {
            put32(e.data, static_cast<uint32_t>(r.first));
            put32(e.data, static_cast<uint32_t>(r.second));
        }
        entries.push_back(e);
    }
    Entry* find(uint16_t tag) {
        for (auto& e : entries)
            if (e.tag == tag) return &e;
        return nullptr;
    }
    // Size of the directory plus its out-of-line values.
    size_t size() const {
        size_t s = 2 + entries.size() * 12 + 4;
        for (auto& e : entries)
            if (e.data.size() > 4) s += (e.data.size() + 1) & ~size_t(1);
        return s;
    }
    // Serialises at `offset`; next is the offset of the following IFD (0: none).
    void write(std::vector<uint8_t>& out, uint32_t offset, uint32_t next) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<uint8_t> dir, extra;
        const uint32_t extra_base = offset + 2 + static_cast<uint32_t>(entries.size()) * 12 + 4;
        put16(dir, static_cast<uint32_t>(entries.size()));
        for (auto& e : entries) {
            put16(dir, e.tag);
            put16(dir, e.type);
            put32(dir, e.count);
            if (e.data.size() <= 4) {
                std::vector<uint8_t> v = e.data;
                v.resize(4, 0);
                dir.insert(dir.end(), v.begin(), v.end());
            } else {
                put32(dir, extra_base + static_cast<uint32_t>(extra.size()));
                extra.insert(extra.end(), e.data.begin(), e.data.end());
                if (extra.size() & 1) extra.push_back(0);
            }
        }
        put32(dir, next);
        out.resize(offset);
        out.insert(out.end(), dir.begin(), dir.end());
        out.insert(out.end(), extra.begin(), extra.end());
    }
};

cv::Mat default_thumbnail() {
    cv::Mat t(120, 160, CV_8UC3);
    for (int y = 0; y < t.rows; ++y)
        for (int x = 0; x < t.cols; ++x) t.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x), uint8_t(y * 2), 128);
    return t;
}

}  // namespace

std::vector<uint8_t> dng_thumbnail_jpeg(const DngOptions& o) {
    if (o.thumb != DngOptions::Thumb::jpeg) return {};
    if (!o.jpeg_bytes.empty()) return o.jpeg_bytes;
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", o.thumbnail.empty() ? default_thumbnail() : o.thumbnail, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    return jpeg;
}

std::vector<uint8_t> make_dng(const DngOptions& o) {
    const uint32_t w = static_cast<uint32_t>(o.width), h = static_cast<uint32_t>(o.height);
    // Raw mosaic, RGGB, 16-bit little-endian.
    std::vector<uint8_t> raw;
    raw.reserve(size_t(w) * h * 2);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint16_t v;
            if (!o.mosaic.empty())
                v = o.mosaic.at<uint16_t>(int(y), int(x));
            else if ((y & 1) == 0)
                v = (x & 1) == 0 ? o.red : o.green;
            else
                v = (x & 1) == 0 ? o.green : o.blue;
            put16(raw, v);
        }

    // Thumbnail payload.
    std::vector<uint8_t> thumb;
    cv::Mat thumb_img;
    if (o.thumb == DngOptions::Thumb::jpeg) {
        thumb = dng_thumbnail_jpeg(o);
        cv::Mat decoded = cv::imdecode(thumb, cv::IMREAD_COLOR);
        thumb_img = decoded.empty() ? cv::Mat(120, 160, CV_8UC3) : decoded;
    } else if (o.thumb == DngOptions::Thumb::bitmap) {
        thumb_img = o.thumbnail.empty() ? default_thumbnail() : o.thumbnail;
        for (int y = 0; y < thumb_img.rows; ++y)
            for (int x = 0; x < thumb_img.cols; ++x) {
                const cv::Vec3b p = thumb_img.at<cv::Vec3b>(y, x);
                thumb.push_back(p[2]);
                thumb.push_back(p[1]);
                thumb.push_back(p[0]);
            }
    }
    const bool has_thumb = o.thumb != DngOptions::Thumb::none;

    auto camera_tags = [&](Ifd& ifd) {
        ifd.ascii(271, o.make);
        ifd.ascii(272, o.model);
        ifd.bytes(50706, {1, 4, 0, 0});  // DNGVersion
        ifd.bytes(50707, {1, 1, 0, 0});  // DNGBackwardVersion
        ifd.ascii(50708, o.make + " " + o.model);
        // ColorMatrix1: XYZ (D65) to linear sRGB, so the camera space is linear sRGB.
        ifd.rationals(50721, SRATIONAL,
                      {{32406, 10000}, {-15372, 10000}, {-4986, 10000}, {-9689, 10000}, {18758, 10000},
                       {415, 10000}, {557, 10000}, {-2040, 10000}, {10570, 10000}});
        ifd.shorts(50778, {21});  // CalibrationIlluminant1: D65
        ifd.rationals(50728, RATIONAL, {{1, 1}, {1, 1}, {1, 1}});  // AsShotNeutral
    };
    auto raw_tags = [&](Ifd& ifd, uint32_t data_offset) {
        ifd.longs(254, {0});
        ifd.longs(256, {w});
        ifd.longs(257, {h});
        ifd.shorts(258, {16});
        ifd.shorts(259, {1});
        ifd.shorts(262, {32803});  // CFA
        ifd.longs(273, {data_offset});
        ifd.shorts(277, {1});
        ifd.longs(278, {h});
        ifd.longs(279, {static_cast<uint32_t>(raw.size())});
        ifd.shorts(284, {1});
        ifd.shorts(33421, {2, 2});
        ifd.bytes(33422, {0, 1, 1, 2});
        ifd.bytes(50710, {0, 1, 2});  // CFAPlaneColor
        ifd.shorts(50711, {1});        // CFALayout
        ifd.longs(50717, {o.white_level});
    };

    // Two passes: the first fixes the sizes, the second writes real offsets.
    std::vector<uint8_t> out;
    uint32_t raw_data_offset = 0, thumb_offset = 0, sub_offset = 0;
    for (int pass = 0; pass < 2; ++pass) {
        out.clear();
        out = {'I', 'I', 42, 0};
        put32(out, 8);
        Ifd ifd0, sub;
        if (has_thumb) {
            ifd0.longs(254, {1});
            ifd0.longs(256, {static_cast<uint32_t>(thumb_img.cols)});
            ifd0.longs(257, {static_cast<uint32_t>(thumb_img.rows)});
            ifd0.shorts(258, {8, 8, 8});
            ifd0.shorts(259, {o.thumb == DngOptions::Thumb::jpeg ? 7u : 1u});
            ifd0.shorts(262, {o.thumb == DngOptions::Thumb::jpeg ? 6u : 2u});
            ifd0.longs(273, {thumb_offset});
            ifd0.shorts(277, {3});
            ifd0.longs(278, {static_cast<uint32_t>(thumb_img.rows)});
            ifd0.longs(279, {static_cast<uint32_t>(thumb.size())});
            ifd0.shorts(284, {1});
            ifd0.longs(330, {sub_offset});
            camera_tags(ifd0);
            raw_tags(sub, raw_data_offset);
            ifd0.write(out, 8, 0);
            sub_offset = static_cast<uint32_t>(out.size());
            sub.write(out, sub_offset, 0);
        } else {
            raw_tags(ifd0, raw_data_offset);
            camera_tags(ifd0);
            ifd0.write(out, 8, 0);
        }
        if (out.size() & 1) out.push_back(0);
        thumb_offset = static_cast<uint32_t>(out.size());
        out.insert(out.end(), thumb.begin(), thumb.end());
        if (out.size() & 1) out.push_back(0);
        raw_data_offset = static_cast<uint32_t>(out.size());
        out.insert(out.end(), raw.begin(), raw.end());
    }
    return out;
}

bool write_dng(const std::string& path, const DngOptions& options) {
    const std::vector<uint8_t> bytes = make_dng(options);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

}  // namespace testsupport
