// The row-parallel per-pixel steps give the same bits on one thread as on four.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "pipeline/stages.h"

namespace vantorix {
namespace {

cv::Mat render(const std::function<void(cv::Mat&)>& stage, int threads) {
    cv::Mat img(61, 47, CV_32FC4);
    cv::RNG rng(7);
    rng.fill(img, cv::RNG::UNIFORM, 0.0, 1.0);
    const int before = cv::getNumThreads();
    cv::setNumThreads(threads);
    stage(img);
    cv::setNumThreads(before);
    return img;
}

TEST(RowParallel, OneThreadAndFourGiveTheSameBits) {
    struct Row {
        const char* name;
        void (*apply)(cv::Mat&, const Adjustments&);
        std::function<void(Adjustments&)> set;
    };
    const std::vector<Row> rows = {
        {"exposure", apply_exposure, [](Adjustments& a) { a.exposure = 0.7f; }},
        {"highlights/shadows", apply_highlights_shadows, [](Adjustments& a) { a.highlights = -40; a.shadows = 60; }},
        {"whites/blacks", apply_whites_blacks, [](Adjustments& a) { a.whites = 30; a.blacks = 20; }},
        {"whites/blacks threshold", apply_whites_blacks, [](Adjustments& a) { a.whites = -500; a.blacks = 100; }},
        {"saturation/vibrance", apply_saturation_vibrance, [](Adjustments& a) { a.saturation = 25; a.vibrance = 40; }},
        {"hsl", apply_hsl, [](Adjustments& a) { a.hsl[0].hue = 20; a.hsl[3].saturation = -30; a.hsl[5].luminance = 40; }},
        {"split toning", apply_split_toning, [](Adjustments& a) { a.split_highlight_saturation = 40; a.split_shadow_saturation = 30; }},
        {"dehaze", apply_dehaze, [](Adjustments& a) { a.dehaze = 50; }},
        {"sharpening", apply_sharpening, [](Adjustments& a) { a.sharpen_amount = 90; a.sharpen_radius = 1.5f; }},
        {"vignette", apply_vignette, [](Adjustments& a) { a.vignette_amount = -40; }},
    };
    for (const Row& row : rows) {
        Adjustments adj;
        row.set(adj);
        const auto stage = [&](cv::Mat& img) { row.apply(img, adj); };
        const cv::Mat one = render(stage, 1), four = render(stage, 4);
        const cv::Mat untouched = render([](cv::Mat&) {}, 1);
        EXPECT_NE(0, std::memcmp(one.data, untouched.data, one.total() * one.elemSize())) << row.name << " changed nothing";
        EXPECT_EQ(0, std::memcmp(one.data, four.data, one.total() * one.elemSize())) << row.name;
    }
}

}  // namespace
}  // namespace vantorix
