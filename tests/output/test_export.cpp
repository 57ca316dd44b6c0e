// Preview, histogram, export to JPEG, PNG and TIFF, and the EXIF carry-over.
#include <sys/stat.h>

#include "engine/context.h"
#include "output/exif_carry.h"
#include "output/histogram.h"
#include "support/test_support.h"
#include "support/tiff_writer.h"

using testsupport::Context;
using testsupport::read_bytes;
using testsupport::temp_path;

namespace {

cv::Mat gradient(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x * 3), uint8_t(y * 4), uint8_t(x + y));
    return m;
}

void load_gradient(EngineContext* ctx, const std::string& name) {
    testsupport::load_image(ctx, gradient(40, 30), name);
    vantorix_set_temperature(ctx, 6500.0f);
}

// Markers of the segments after SOI up to the first that is not APPn.
std::vector<int> leading_markers(const std::vector<uint8_t>& jpeg) {
    std::vector<int> markers;
    size_t pos = 2;
    while (pos + 3 < jpeg.size() && jpeg[pos] == 0xFF) {
        markers.push_back(jpeg[pos + 1]);
        if (jpeg[pos + 1] < 0xE0 || jpeg[pos + 1] > 0xEF) break;
        pos += ((jpeg[pos + 2] << 8) | jpeg[pos + 3]) + 2;
    }
    return markers;
}

ExifSummary exif_of(const std::string& path) {
    Context ctx;
    ExifSummary s{};
    EXPECT_TRUE(vantorix_load_arw(ctx, path.c_str(), 1) == 0 && vantorix_get_exif(ctx, &s) == 0) << path;
    return s;
}

const int kW = 120, kH = 90;

void load_and_segment(EngineContext* ctx, const std::string& name) {
    testsupport::load_image(ctx, testsupport::disc_image(kW, kH, {60, 45}, 22), name);
    ASSERT_EQ(vantorix_segment_subject(ctx, -1, -1), 0) << vantorix_last_error(ctx);
}

cv::Mat mask_of(EngineContext* ctx) {
    cv::Mat m(vantorix_get_height(ctx), vantorix_get_width(ctx), CV_8UC1);
    EXPECT_EQ(vantorix_get_mask(ctx, m.data, static_cast<int>(m.total())), 0);
    return m;
}

}  // namespace

TEST(Preview, BytesHistogramAndStoredDevelopment) {
    Context ctx;
    testsupport::load_image(ctx, cv::Mat(3, 5, CV_8UC3, cv::Scalar(30, 90, 250)), "preview.png");
    vantorix_set_temperature(ctx, 6500.0f);
    std::vector<uint8_t> buf(3 * 5 * 4, 0xEE);
    EXPECT_EQ(vantorix_get_preview(ctx, buf.data(), int(buf.size()) - 1), -1);
    EXPECT_STREQ(vantorix_last_error(ctx), "output buffer too small");
    EXPECT_EQ(buf[0], 0xEE);
    ASSERT_EQ(vantorix_get_preview(ctx, buf.data(), int(buf.size())), 0);
    for (size_t i = 0; i < buf.size(); i += 4) EXPECT_EQ(std::vector<uint8_t>(&buf[i], &buf[i + 4]), (std::vector<uint8_t>{250, 90, 30, 255}));
    // The histogram describes the stored development: a setting shows only after the next one.
    uint32_t h[4][256];
    ASSERT_EQ(vantorix_get_histogram(ctx, h[0], h[1], h[2], h[3]), 0);
    EXPECT_TRUE(h[0][250] == 15 && h[3][120] == 15);  // Rec. 709 luminance 0.4694
    vantorix_set_brightness(ctx, -100.0f);
    ASSERT_EQ(vantorix_get_histogram(ctx, h[0], h[1], h[2], h[3]), 0);
    EXPECT_EQ(h[0][250], 15u);
    ASSERT_EQ(vantorix_process(ctx), 0);
    ASSERT_EQ(vantorix_get_histogram(ctx, h[0], h[1], h[2], h[3]), 0);
    EXPECT_EQ(h[0][245], 15u);  // (250/255)^2 = 0.961
}

TEST(Export, FormatsDepthsQualityAndFailures) {
    Context ctx;
    load_gradient(ctx, "exp.png");
    const std::string png = temp_path("o.png"), tif = temp_path("o.tif"), victim = temp_path("victim.xyz");
    ASSERT_EQ(vantorix_export_png(ctx, png.c_str(), 16), 0);
    EXPECT_EQ((cv::imread(png, cv::IMREAD_UNCHANGED).at<cv::Vec<uint16_t, 3>>(5, 7)), (cv::Vec<uint16_t, 3>(21 * 257, 20 * 257, 12 * 257)));
    for (int bits : {8, 0, 24}) {
        ASSERT_EQ(vantorix_export_png(ctx, png.c_str(), bits), 0);
        EXPECT_TRUE(testsupport::identical(cv::imread(png, cv::IMREAD_UNCHANGED), gradient(40, 30))) << bits;
    }
    ASSERT_EQ(vantorix_export_tiff(ctx, tif.c_str()), 0);
    EXPECT_EQ(cv::imread(tif, cv::IMREAD_UNCHANGED).type(), CV_16UC3);
    ASSERT_EQ(vantorix_export_png(ctx, temp_path("by_png.jpg").c_str(), 8), 0);  // the encoder follows the extension
    EXPECT_EQ(read_bytes(temp_path("by_png.jpg"))[1], 0xD8);
    auto jpeg_at = [&](int quality) {
        EXPECT_EQ(vantorix_export_jpeg(ctx, temp_path("q.jpg").c_str(), quality, 0, 0), 0);
        return read_bytes(temp_path("q.jpg"));
    };
    EXPECT_EQ(jpeg_at(-40), jpeg_at(1));
    EXPECT_EQ(jpeg_at(250), jpeg_at(100));
    EXPECT_NE(jpeg_at(50), jpeg_at(100));
    // A failed export leaves the existing file untouched.
    testsupport::write_bytes(victim, {1, 2, 3, 4});
    for (auto [call, message] : {std::pair<std::function<int()>, const char*>{[&] { return vantorix_export_jpeg(ctx, victim.c_str(), 90, 0, 0); }, "JPEG write failed"},
                                 {[&] { return vantorix_export_png(ctx, victim.c_str(), 8); }, "PNG write failed"},
                                 {[&] { return vantorix_export_tiff(ctx, victim.c_str()); }, "TIFF write failed"}}) {
        EXPECT_TRUE(call() == -1 && read_bytes(victim) == std::vector<uint8_t>({1, 2, 3, 4})) << message;
        EXPECT_EQ(std::string(vantorix_last_error(ctx)), std::string(message) + ": cannot encode '" + victim + "'");
    }
    ::mkdir(temp_path("adir.png").c_str(), 0755);
    EXPECT_EQ(vantorix_export_png(ctx, temp_path("adir.png").c_str(), 8), -1);
    // Exports use the stored development while it is valid, and develop (without storing) when it is not.
    ASSERT_EQ(vantorix_process(ctx), 0);
    vantorix_set_brightness(ctx, 80.0f);
    ASSERT_EQ(vantorix_export_png(ctx, png.c_str(), 8), 0);
    EXPECT_TRUE(testsupport::identical(cv::imread(png), gradient(40, 30)));
    ctx.ctx->processed_valid = false;
    ASSERT_EQ(vantorix_export_png(ctx, png.c_str(), 8), 0);
    EXPECT_FALSE(testsupport::identical(cv::imread(png), gradient(40, 30)) || ctx.ctx->processed_valid);
}

TEST(Export, ExifIsCarriedWithUprightOrientation) {
    testsupport::ExifBlock block;
    block.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Vantorix Optics").add(EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, {6});
    block.add(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, EXIF_FORMAT_LONG, {70000});
    const std::string src = testsupport::write_exif_jpeg("tagged6.jpg", block, gradient(300, 200));
    Context ctx, none;
    ASSERT_EQ(vantorix_load_arw(ctx, src.c_str(), 1), 0);
    EXPECT_EQ(vantorix_get_width(ctx), 200);  // the decoder turned the picture upright
    const std::string out = temp_path("carried.jpg"), plain = temp_path("plain.jpg");
    ASSERT_EQ(vantorix_export_jpeg(ctx, out.c_str(), 90, 0, 1), 0);
    ASSERT_EQ(vantorix_export_jpeg(ctx, plain.c_str(), 90, 0, 0), 0);
    EXPECT_TRUE(leading_markers(read_bytes(out)) == std::vector<int>({0xE1, 0xDB}) && leading_markers(read_bytes(plain))[0] == 0xE0);  // JFIF replaced
    const ExifSummary s = exif_of(out);
    EXPECT_TRUE(std::string(s.make) == "Vantorix Optics" && s.orientation == 1 && s.width == 70000 && exif_of(plain).make[0] == 0);
    EXPECT_TRUE(testsupport::identical(cv::imread(out, cv::IMREAD_IGNORE_ORIENTATION | cv::IMREAD_COLOR), cv::imread(plain)));
    load_gradient(none, "noexif.png");  // without EXIF in the source the flag changes nothing
    ASSERT_TRUE(vantorix_export_jpeg(none, out.c_str(), 80, 0, 1) == 0 && vantorix_export_jpeg(none, plain.c_str(), 80, 0, 0) == 0);
    EXPECT_EQ(read_bytes(out), read_bytes(plain));
    // A segment length running past the data stops the scan.
    std::vector<uint8_t> runaway = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 'J', 'F', 'I', 'F', 0};
    ASSERT_TRUE(vantorix::carry_exif(src, runaway));
    EXPECT_EQ(std::vector<uint8_t>(runaway.end() - 9, runaway.end()), std::vector<uint8_t>({0xFF, 0xE0, 0xFF, 0xF0, 'J', 'F', 'I', 'F', 0}));
}


// The one-pass blend equals the plain chain of whole-matrix operations:
// F x M + B x (1 - M) in single precision, back to 8 bits.
TEST(BackgroundBlur, BlendEqualsTheWholeMatrixForm) {
    cv::RNG rng(11);
    for (auto [amount, k] : {std::pair<float, int>{1, 3}, {10, 7}, {25, 15}, {50, 31}, {100, 61}, {1e9f, 61}}) {
        EXPECT_EQ(vantorix::background_blur_kernel(amount), k) << amount;
        cv::Mat img(41, 67, CV_8UC4), mask(41, 67, CV_8UC1), blurred, m, M, F, B, inv, expected;
        rng.fill(img, cv::RNG::UNIFORM, 0, 256);
        for (int i = 0; i < static_cast<int>(mask.total()); ++i) mask.data[i] = uchar(i % 3 ? rng.uniform(0, 256) : i % 256);
        cv::GaussianBlur(img, blurred, cv::Size(k, k), 0, 0, cv::BORDER_REFLECT_101);
        mask.convertTo(m, CV_32F, 0.00392156862745098);
        cv::merge(std::vector<cv::Mat>{m, m, m, m}, M);
        img.convertTo(F, CV_32FC4);
        blurred.convertTo(B, CV_32FC4);
        cv::subtract(cv::Scalar::all(1.0), M, inv);
        cv::multiply(F, M, F);
        cv::multiply(B, inv, B);
        cv::add(F, B, F);
        F.convertTo(expected, CV_8UC4);
        EXPECT_TRUE(testsupport::identical(vantorix::blur_background(img, mask, amount), expected)) << amount;
    }
}

// Colour from the development, straight; alpha from the mask; refused when the mask does not line up.
TEST(Cutout, AlphaIsTheMask) {
    Context ctx;
    load_and_segment(ctx, "cut.png");
    vantorix_set_exposure(ctx, 0.5f);
    const std::string out = testsupport::temp_path("cut_out.png");
    ASSERT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0);
    EXPECT_FALSE(ctx.ctx->processed_valid);  // the export develops without storing
    cv::Mat rgba, expected, mask = mask_of(ctx);
    cv::cvtColor(cv::imread(out, cv::IMREAD_UNCHANGED), rgba, cv::COLOR_BGRA2RGBA);
    cv::Mat sources[] = {testsupport::preview_of(ctx), mask}, merged(mask.size(), CV_8UC4);
    cv::mixChannels(sources, 2, &merged, 1, std::vector<int>{0, 0, 1, 1, 2, 2, 4, 3}.data(), 4);
    EXPECT_TRUE(testsupport::identical(rgba, merged));  // not premultiplied
    EXPECT_TRUE(cv::countNonZero(mask == 0) > 5000 && cv::countNonZero((mask > 0) & (mask < 255)) > 100);  // feathered
    testsupport::write_bytes(out, {'o', 'l', 'd'});
    auto refused = [&](const char* what) {
        EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), -1) << what;
        EXPECT_STREQ(vantorix_last_error(ctx), "segmentation mask does not match the developed image") << what;
        EXPECT_EQ(testsupport::read_bytes(out), (std::vector<uint8_t>{'o', 'l', 'd'})) << what;
    };
    vantorix_set_crop(ctx, 0.1f, 0.1f, 0.5f, 0.5f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    refused("cropped");
    testsupport::load_image(ctx, testsupport::disc_image(kW + 1, kH, {60, 45}, 22), "mis_b.png");
    refused("another size");
    vantorix_unload(ctx);
    refused("unloaded");
    testsupport::load_image(ctx, testsupport::disc_image(kW, kH, {30, 30}, 10, 5), "mis_c.png");
    EXPECT_EQ(vantorix_export_subject_png(ctx, out.c_str()), 0);  // the same size lines up again
    EXPECT_EQ(vantorix_export_subject_png(ctx, testsupport::temp_path("no/such/dir/x.png").c_str()), -2);
    EXPECT_EQ(std::string(vantorix_last_error(ctx)),
              "failed to write PNG: cannot write '" + testsupport::temp_path("no/such/dir/x.png") + "': No such file or directory");
}
