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

using Make = std::function<void(const std::string&)>;

void socket_file(const std::string& p) {
    sockaddr_un addr{AF_UNIX, {}};
    p.copy(addr.sun_path, sizeof addr.sun_path - 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);  // the socket file outlives the descriptor
    ::close(s);
}

// A small image encoded as the path's ending says, its declared width and height then both set to n
// (big-endian, `bytes` wide, at w_at and h_at).
Make declaring(int n, size_t w_at, size_t h_at, int bytes) {
    return [=](const std::string& p) {
        std::vector<uint8_t> b;
        cv::imencode(p.substr(p.rfind('.')), cv::Mat(8, 8, CV_8UC3, cv::Scalar(40, 80, 120)), b);
        for (size_t at : {w_at, h_at})
            for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(n >> (8 * (bytes - 1 - i)));
        testsupport::write_bytes(p, b);
    };
}

Make image(int w, int h) {
    return [=](const std::string& p) { testsupport::write_image(p, cv::Mat(h, w, CV_8UC3, cv::Scalar(10, 200, 30))); };
}

enum class Call { load, thumb, phash, segment, exif_after_swap };

int call(Call c, const std::string& p, std::string& msg) {
    testsupport::Context ctx;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint64_t h = 1;
    int r = c == Call::thumb ? vantorix_extract_thumbnail(p.c_str(), &data, &size)
                             : c == Call::phash ? vantorix_phash(p.c_str(), &h) : vantorix_load_arw(ctx, p.c_str(), 4);
    vantorix_free_thumb(data);
    if (c == Call::segment && r == 0) r = vantorix_segment_subject(ctx, -1.0f, -1.0f);
    if (c == Call::load && r == 0) r = vantorix_get_width(ctx) * 10000 + vantorix_get_height(ctx);
    ExifSummary rec;
    if (c == Call::exif_after_swap && r == 0)  // the loaded file is replaced by a FIFO
        r = ::unlink(p.c_str()) == 0 && ::mkfifo(p.c_str(), 0644) == 0 ? vantorix_get_exif(ctx, &rec) : -99;
    msg = vantorix_last_error(ctx);
    return r;
}

}  // namespace

TEST(HostileInputs, RefusedQuicklyOrHandled) {
    const std::string not_regular = "cannot read '%': not a regular file";
    const Make dng_bomb = [](const std::string& p) {  // 2048 x 2048 declared, 32768 bytes present: 128 pixels a byte.
        testsupport::DngOptions o;
        o.width = o.height = 2048;
        const std::vector<uint8_t> b = testsupport::make_dng(o);
        testsupport::write_bytes(p, std::vector<uint8_t>(b.begin(), b.begin() + 32768));
    };
    const Make fifo = [](const std::string& p) { ::mkfifo(p.c_str(), 0644); };
    // A name in the temporary folder (or an absolute path) made by `make`; '%' in the message stands for the path,
    // an empty message is not checked.
    struct Row { std::string name; Make make; Call call; int code; std::string message; };
    std::vector<Row> rows = {
        {"swap.png", image(8, 8), Call::exif_after_swap, 0, ""},
        {"d.jpg", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }, Call::load, -1, not_regular},
        {"s.nef", socket_file, Call::load, -1, not_regular},
        {"/dev/null", nullptr, Call::load, -1, not_regular},
        {"b.png", declaring(30000, 16, 20, 4), Call::load, -1,
         "OpenCV could not read: %: image of 30000 x 30000 pixels exceeds the limit of 268435456 pixels"},
        {"bomb.dng", dng_bomb, Call::load, -1,
         "RAW file '%' declares 2048 x 2048 pixels, more than 64 per byte of its 32768-byte file"},
        {"s.png", image(4096, 3), Call::segment, -2, "GrabCut failed"},
    };
    // FIFOs, a JPEG declaring 32000 x 32000 pixels and thin images (loaded reduced to 4096 pixels), through each
    // of the three ways a file is read.
    for (Call c : {Call::load, Call::thumb, Call::phash}) {
        rows.push_back({"w.png", image(100000, 1), c, c == Call::load ? 40960001 : 0, ""});
        rows.push_back({"t.png", image(1, 100000), c, c == Call::load ? 14096 : 0, ""});
        for (const char* f : {"f.jpg", "f.cr2"}) rows.push_back({f, fifo, c, -1, c == Call::load ? not_regular : ""});
        rows.push_back({"b.jpg", declaring(32000, 165, 163, 2), c, -1, c != Call::load ? "" :
            "OpenCV could not read: %: image of 32000 x 32000 pixels exceeds the limit of 268435456 pixels"});
    }
    for (const Row& row : rows) {
        const std::string p = row.name[0] == '/' ? row.name : temp_path(row.name);
        if (row.make) row.make(p);
        std::string msg, expected = row.message;
        EXPECT_EQ(call(row.call, p, msg), row.code) << p << ": " << msg;
        if (expected.find('%') != std::string::npos) expected.replace(expected.find('%'), 1, p);
        EXPECT_EQ(msg, expected.empty() ? msg : expected) << p;
        if (row.make) ::unlink(p.c_str());  // never the device
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
