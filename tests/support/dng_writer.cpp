#include "support/dng_writer.h"

#include "support/test_support.h"
#include "support/tiff_writer.h"

namespace testsupport {

namespace {

enum Type : uint16_t { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5, SRATIONAL = 10 };
using Ifd = TiffIfd;

cv::Mat thumbnail_picture(const DngOptions& o) { return o.thumbnail.empty() ? cv::Mat(120, 160, CV_8UC3, cv::Scalar(40, 90, 200)) : o.thumbnail; }

// The RGGB mosaic, 16-bit little-endian.
std::vector<uint8_t> mosaic_bytes(const DngOptions& o) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) put(raw, (y & 1) ? ((x & 1) ? o.blue : o.green) : ((x & 1) ? o.green : o.red), 2);
    return raw;
}

// The thumbnail's stored bytes (a JPEG stream or RGB samples) and its size.
std::vector<uint8_t> thumbnail_bytes(const DngOptions& o, cv::Size& size) {
    if (o.thumb == DngOptions::Thumb::jpeg) {
        std::vector<uint8_t> jpeg = dng_thumbnail_jpeg(o);
        const cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        size = decoded.empty() ? cv::Size(160, 120) : decoded.size();
        return jpeg;
    }
    cv::Mat rgb;
    cv::cvtColor(thumbnail_picture(o), rgb, cv::COLOR_BGR2RGB);
    size = rgb.size();
    return std::vector<uint8_t>(rgb.data, rgb.data + rgb.total() * 3);
}

// Maker, DNG version, and a colour matrix that makes the camera space linear sRGB (D65, neutral as shot).
void add_camera_tags(Ifd& ifd) {
    ifd.ascii(271, "Vantorix").ascii(272, "Test Sensor").ascii(50708, "Vantorix Test Sensor");
    ifd.add(50706, BYTE, {1, 4, 0, 0}).add(50707, BYTE, {1, 1, 0, 0}).add(50778, SHORT, {21});
    ifd.add(50721, SRATIONAL, {32406, 10000, -15372, 10000, -4986, 10000, -9689, 10000, 18758, 10000, 415, 10000,
                               557, 10000, -2040, 10000, 10570, 10000});
    ifd.add(50728, RATIONAL, {1, 1, 1, 1, 1, 1});
}

void add_image_tags(Ifd& ifd, bool thumbnail, cv::Size size, int compression, int photometric, uint32_t offset,
                    size_t bytes) {
    ifd.add(254, LONG, {thumbnail ? 1 : 0}).add(256, LONG, {size.width}).add(257, LONG, {size.height});
    ifd.add(259, SHORT, {compression}).add(262, SHORT, {photometric}).add(273, LONG, {offset});
    ifd.add(278, LONG, {size.height}).add(279, LONG, {static_cast<int64_t>(bytes)}).add(284, SHORT, {1});
    if (thumbnail)
        ifd.add(258, SHORT, {8, 8, 8}).add(277, SHORT, {3});
    else  // a 2 x 2 RGGB pattern of 16-bit samples
        ifd.add(258, SHORT, {16}).add(277, SHORT, {1}).add(33421, SHORT, {2, 2}).add(33422, BYTE, {0, 1, 1, 2})
            .add(50710, BYTE, {0, 1, 2}).add(50711, SHORT, {1}).add(50717, LONG, {65535});
}

}  // namespace

std::vector<uint8_t> dng_thumbnail_jpeg(const DngOptions& o) {
    if (o.thumb != DngOptions::Thumb::jpeg) return {};
    if (!o.jpeg_bytes.empty()) return o.jpeg_bytes;
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", thumbnail_picture(o), jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    return jpeg;
}

// Layout: header, the first directory (the thumbnail, or the mosaic when there
// is none), the mosaic's sub-directory, the thumbnail bytes, the mosaic bytes.
std::vector<uint8_t> make_dng(const DngOptions& o) {
    const std::vector<uint8_t> raw = mosaic_bytes(o);
    cv::Size thumb_size;
    const bool has_thumb = o.thumb != DngOptions::Thumb::none;
    const std::vector<uint8_t> thumb = has_thumb ? thumbnail_bytes(o, thumb_size) : std::vector<uint8_t>();
    Ifd first, sub;
    add_camera_tags(first);
    Ifd& raw_ifd = has_thumb ? sub : first;
    add_image_tags(raw_ifd, false, {o.width, o.height}, 1, 32803, 0, raw.size());
    if (has_thumb) {
        const bool jpeg = o.thumb == DngOptions::Thumb::jpeg;
        add_image_tags(first, true, thumb_size, jpeg ? 7 : 1, jpeg ? 6 : 2, 0, thumb.size());
        first.add(330, LONG, {0});
    }
    // Offsets from the sizes (an offset is one LONG whatever its value).
    const uint32_t sub_at = static_cast<uint32_t>(8 + first.size());
    const uint32_t thumb_at = sub_at + static_cast<uint32_t>(has_thumb ? sub.size() : 0);
    const uint32_t raw_at = thumb_at + static_cast<uint32_t>((thumb.size() + 1) & ~size_t(1));
    raw_ifd.add(273, LONG, {raw_at});
    if (has_thumb) first.add(273, LONG, {thumb_at}).add(330, LONG, {sub_at});
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    first.write(out);
    if (has_thumb) sub.write(out);
    out.insert(out.end(), thumb.begin(), thumb.end());
    out.resize(raw_at);
    out.insert(out.end(), raw.begin(), raw.end());
    return out;
}

bool write_dng(const std::string& path, const DngOptions& options) { return write_bytes(path, make_dng(options)); }

}  // namespace testsupport
