// Files and arguments a hostile host or file system hands the engine: each
// row a generated file or path, the call, and the exact code and message.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <opencv2/imgcodecs.hpp>

#include "engine/context.h"
#include "support/dng_writer.h"
#include "support/test_support.h"

namespace {

using testsupport::temp_path;

std::string fifo(const std::string& name) {
    const std::string p = temp_path(name);
    ::mkfifo(p.c_str(), 0644);
    return p;
}

std::string socket_file(const std::string& name) {
    const std::string p = temp_path(name);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    p.copy(addr.sun_path, sizeof addr.sun_path - 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);  // the socket file outlives the descriptor
    ::close(s);
    return p;
}

// A small image encoded by `ext`, its declared size then patched at `at` (big-endian, `bytes` wide).
std::string declaring(const std::string& name, int w, int h, size_t w_at, size_t h_at, int bytes) {
    std::vector<uint8_t> b;
    cv::imencode(name.substr(name.rfind('.')), cv::Mat(8, 8, CV_8UC3, cv::Scalar(40, 80, 120)), b);
    for (int i = 0; i < bytes; ++i) {
        b[w_at + i] = static_cast<uint8_t>(w >> (8 * (bytes - 1 - i)));
        b[h_at + i] = static_cast<uint8_t>(h >> (8 * (bytes - 1 - i)));
    }
    testsupport::write_bytes(temp_path(name), b);
    return temp_path(name);
}

std::string image(const std::string& name, int w, int h) {
    testsupport::write_image(temp_path(name), cv::Mat(h, w, CV_8UC3, cv::Scalar(10, 200, 30)));
    return temp_path(name);
}

enum class Call { load, thumb, phash, segment, exif_after_swap };

int call(Call c, const std::string& p, std::string& msg) {
    testsupport::Context ctx;
    int r = -99;
    if (c == Call::thumb) {
        uint8_t* data = nullptr;
        uint32_t size = 0;
        r = vantorix_extract_thumbnail(p.c_str(), &data, &size);
        vantorix_free_thumb(data);
        return r;
    }
    if (c == Call::phash) {
        uint64_t h = 1;
        return vantorix_phash(p.c_str(), &h);
    }
    r = vantorix_load_arw(ctx, p.c_str(), 4);
    if (c == Call::segment && r == 0) r = vantorix_segment_subject(ctx, -1.0f, -1.0f);
    if (c == Call::load && r == 0) r = vantorix_get_width(ctx) * 10000 + vantorix_get_height(ctx);
    if (c == Call::exif_after_swap && r == 0) {  // the loaded file is replaced by a FIFO
        ::unlink(p.c_str());
        ::mkfifo(p.c_str(), 0644);
        ExifSummary rec;
        r = vantorix_get_exif(ctx, &rec);
    }
    msg = vantorix_last_error(ctx);
    return r;
}

}  // namespace

TEST(HostileInputs, RefusedQuicklyOrHandled) {
    const std::string not_regular = "cannot read '%': not a regular file";
    const std::string jpeg_bomb = "OpenCV could not read: %: image of 32000 x 32000 pixels exceeds the limit of 268435456 pixels";
    // 2048 x 2048 declared, 32768 bytes present: 128 pixels a byte.
    auto dng_bomb = [] {
        testsupport::DngOptions o;
        o.width = o.height = 2048;
        std::vector<uint8_t> b = testsupport::make_dng(o);
        b.resize(32768);
        testsupport::write_bytes(temp_path("bomb.dng"), b);
        return temp_path("bomb.dng");
    };
    struct Row {
        const char* name;
        std::function<std::string()> make;
        Call call;
        int code;
        std::string message;  // '%' stands for the path; empty: not checked
    };
    const std::vector<Row> rows = {
        {"fifo.jpg load", [] { return fifo("f.jpg"); }, Call::load, -1, not_regular},
        {"fifo.cr2 load", [] { return fifo("f.cr2"); }, Call::load, -1, not_regular},
        {"fifo.jpg thumb", [] { return fifo("f.jpg"); }, Call::thumb, -1, ""},
        {"fifo.cr2 thumb", [] { return fifo("f.cr2"); }, Call::thumb, -1, ""},
        {"fifo.jpg phash", [] { return fifo("f.jpg"); }, Call::phash, -1, ""},
        {"fifo.cr2 phash", [] { return fifo("f.cr2"); }, Call::phash, -1, ""},
        {"exif of a file swapped for a fifo", [] { return image("swap.png", 8, 8); }, Call::exif_after_swap, 0, ""},
        {"folder.jpg", [] { ::mkdir(temp_path("d.jpg").c_str(), 0755); return temp_path("d.jpg"); }, Call::load, -1, not_regular},
        {"socket.nef", [] { return socket_file("s.nef"); }, Call::load, -1, not_regular},
        {"device", [] { return std::string("/dev/null"); }, Call::load, -1, not_regular},
        {"jpeg 32000^2", [] { return declaring("b.jpg", 32000, 32000, 165, 163, 2); }, Call::load, -1, jpeg_bomb},
        {"jpeg 32000^2 thumb", [] { return declaring("b.jpg", 32000, 32000, 165, 163, 2); }, Call::thumb, -1, ""},
        {"jpeg 32000^2 phash", [] { return declaring("b.jpg", 32000, 32000, 165, 163, 2); }, Call::phash, -1, ""},
        {"png 30000^2", [] { return declaring("b.png", 30000, 30000, 16, 20, 4); }, Call::load, -1,
         "OpenCV could not read: %: image of 30000 x 30000 pixels exceeds the limit of 268435456 pixels"},
        {"raw declaring 128 pixels a byte", dng_bomb, Call::load, -1,
         "RAW file '%' declares 2048 x 2048 pixels, more than 64 per byte of its 32768-byte file"},
        {"png 100000x1", [] { return image("w.png", 100000, 1); }, Call::load, 40960001, ""},
        {"png 1x100000", [] { return image("t.png", 1, 100000); }, Call::load, 14096, ""},
        {"png 100000x1 thumb", [] { return image("w.png", 100000, 1); }, Call::thumb, 0, ""},
        {"png 1x100000 phash", [] { return image("t.png", 1, 100000); }, Call::phash, 0, ""},
        {"4096x3 segmentation", [] { return image("s.png", 4096, 3); }, Call::segment, -2, "GrabCut failed"},
    };
    for (const Row& row : rows) {
        const std::string p = row.make();
        std::string msg;
        EXPECT_EQ(call(row.call, p, msg), row.code) << row.name << ": " << msg;
        std::string expected = row.message;
        if (expected.find('%') != std::string::npos) expected.replace(expected.find('%'), 1, p);
        if (!expected.empty()) {
            EXPECT_EQ(msg, expected) << row.name;
        }
        if (p.rfind(testsupport::temp_dir(), 0) == 0) ::unlink(p.c_str());  // never the device
    }
}

TEST(HostileInputs, ToneCurveCountIsCapped) {
    testsupport::Context ctx;
    const std::vector<float> pts(2 * (VANTORIX_MAX_TONE_CURVE_POINTS + 1), 0.5f);
    for (int count : {VANTORIX_MAX_TONE_CURVE_POINTS + 1, 20000000, VANTORIX_MAX_TONE_CURVE_POINTS}) {
        vantorix_set_tone_curve(ctx, 0, pts.data(), count);
        EXPECT_EQ(ctx.ctx->adjustments.tone_curves[0].size(), count == VANTORIX_MAX_TONE_CURVE_POINTS ? 4096u : 2u);
    }
}
