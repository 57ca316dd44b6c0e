// The command line's use of the level finder and the segmentation seeds.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/test_support.h"

using testsupport::run_cli;

TEST(LevelSeedCli, LevelDeclinesAndSeeds) {
    const std::string flat = testsupport::temp_path("cli_flat.png"), in = testsupport::temp_path("cli_seed.png");
    testsupport::write_image(flat, cv::Mat(300, 400, CV_8UC3, cv::Scalar(30, 120, 90)));
    cv::Mat img(240, 320, CV_8UC3);
    cv::RNG(2).fill(img, cv::RNG::UNIFORM, 100, 160);
    cv::ellipse(img, {230, 110}, {70, 55}, 0, 0, 360, cv::Scalar(40, 110, 220), cv::FILLED);
    testsupport::write_image(in, img);
    const std::string out = testsupport::temp_path("cli_seed_out.png");
    std::string text, err;
    ASSERT_EQ(run_cli("auto '" + flat + "' --json", &text, &err), 0) << err;
    EXPECT_NE(text.find("\"level\": {\"status\": \"no evidence\", \"rotation\": 0, \"confidence\": 0}"), std::string::npos);
    ASSERT_EQ(run_cli("develop '" + flat + "' '" + out + "' --auto-straighten", nullptr, &err), 0) << err;
    EXPECT_NE(err.find("auto straighten declined (no evidence); the rotation stays as it was"), std::string::npos) << err;

    ASSERT_EQ(run_cli("cutout '" + in + "' '" + out + "'", nullptr, &err), 0) << err;  // the automatic seed
    testsupport::Context ctx;
    ASSERT_EQ(vantorix_load_arw(ctx, in.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject_auto(ctx), 0);
    cv::Mat mask(240, 320, CV_8UC1), alpha;
    ASSERT_EQ(vantorix_get_mask(ctx, mask.data, static_cast<int>(mask.total())), 0);
    cv::extractChannel(cv::imread(out, cv::IMREAD_UNCHANGED), alpha, 3);
    EXPECT_TRUE(testsupport::identical(alpha, mask));
    EXPECT_EQ(run_cli("cutout '" + in + "' '" + out + "' --center 0.5,0.5 --box 0,0,1,1", nullptr, &err), 2);
    EXPECT_NE(err.find("--center and --box cannot be used together"), std::string::npos) << err;
    EXPECT_EQ(run_cli("develop '" + in + "' '" + out + "' --bg-blur 30 --box 1.5,0,0.5,0.5", nullptr, &err), 1);
    EXPECT_NE(err.find("subject box is empty or outside the image"), std::string::npos) << err;
}
