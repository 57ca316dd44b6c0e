// vantorix_level_seed_eval: measures the two straightening functions and the
// three segmentation seeds through the public interface.
//
//   vantorix_level_seed_eval level [CORPUS_DIR]  answer rate and share of answers within 0.5 degrees
//   vantorix_level_seed_eval seed                mean IoU of each seed on generated scenes
//
// Level trials: generated scenes with horizontal and vertical structure
// (horizon, buildings, windows, clutter), rotated by 1..8 degrees either way;
// generated scenes without level structure (blobs, lines at every angle,
// texture), not rotated, where every answer is a wrong one; and the corpus
// photos (JPEG and RAW files not named neg_*) turned by the engine's rotation
// and cut to their middle 70 % so no mirrored border remains. The truth for a
// picture turned by r is -r (the photographs are taken as level).
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "vantorix.h"

namespace fs = std::filesystem;

namespace {

const std::string kTmp = (fs::temp_directory_path() / "vantorix_level_seed_eval").string();

cv::Mat textured(cv::Size size, cv::Scalar base, int amplitude, cv::RNG& rng) {
    cv::Mat img(size, CV_8UC3);
    cv::Mat noise(size, CV_16SC3);
    rng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(amplitude));
    cv::Mat base_img(size, CV_16SC3, base);
    cv::Mat sum = base_img + noise;
    sum.convertTo(img, CV_8UC3);
    cv::GaussianBlur(img, img, cv::Size(3, 3), 0);
    return img;
}

cv::Scalar random_colour(cv::RNG& rng) { return cv::Scalar(rng.uniform(20, 236), rng.uniform(20, 236), rng.uniform(20, 236)); }

// A street or skyline: sky, ground, buildings with windows, a few objects.
cv::Mat level_scene(cv::Size size, cv::RNG& rng) {
    cv::Mat img = textured(size, random_colour(rng), 6, rng);
    const int horizon = rng.uniform(size.height / 3, 2 * size.height / 3);
    img.rowRange(horizon, size.height) = random_colour(rng);
    const int buildings = rng.uniform(1, 5);
    for (int b = 0; b < buildings; ++b) {
        const int w = rng.uniform(size.width / 10, size.width / 3), h = rng.uniform(size.height / 6, horizon - 10);
        const int x = rng.uniform(0, size.width - w);
        const cv::Rect r(x, horizon - h, w, h);
        cv::rectangle(img, r, random_colour(rng), cv::FILLED);
        const cv::Scalar window = random_colour(rng);
        for (int wy = r.y + 10; wy + 16 < r.y + r.height; wy += 30)
            for (int wx = r.x + 8; wx + 12 < r.x + r.width; wx += 24) cv::rectangle(img, cv::Rect(wx, wy, 12, 16), window, cv::FILLED);
    }
    for (int k = 0; k < 6; ++k)
        cv::circle(img, cv::Point(rng.uniform(0, size.width), rng.uniform(horizon, size.height)), rng.uniform(10, 60),
                   random_colour(rng), cv::FILLED, cv::LINE_AA);
    cv::Mat noise(size, CV_8UC3);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 12);
    img += noise;
    return img;
}

// Blobs, strokes at every angle and texture: nothing says which way is up.
cv::Mat shapeless_scene(cv::Size size, cv::RNG& rng) {
    cv::Mat img = textured(size, random_colour(rng), 10, rng);
    const int blobs = rng.uniform(5, 25);
    for (int k = 0; k < blobs; ++k)
        cv::ellipse(img, cv::Point(rng.uniform(0, size.width), rng.uniform(0, size.height)),
                    cv::Size(rng.uniform(10, 150), rng.uniform(10, 150)), rng.uniform(0.0, 180.0), 0, 360,
                    random_colour(rng), cv::FILLED, cv::LINE_AA);
    const int strokes = rng.uniform(0, 30);
    for (int k = 0; k < strokes; ++k) {
        const cv::Point p(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const double a = rng.uniform(0.0, CV_PI), len = rng.uniform(30.0, 200.0);
        cv::line(img, p, p + cv::Point(static_cast<int>(len * std::cos(a)), static_cast<int>(len * std::sin(a))),
                 random_colour(rng), rng.uniform(1, 5), cv::LINE_AA);
    }
    return img;
}

cv::Mat rotated_middle(const cv::Mat& img, double degrees, cv::Size out) {
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(img.cols * 0.5f, img.rows * 0.5f), degrees, 1.0);
    cv::Mat r;
    cv::warpAffine(img, r, m, img.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    return r(cv::Rect((img.cols - out.width) / 2, (img.rows - out.height) / 2, out.width, out.height)).clone();
}

bool load(EngineContext* ctx, const cv::Mat& bgr, const std::string& name) {
    const std::string path = kTmp + "/" + name;
    return cv::imwrite(path, bgr) && vantorix_load_arw(ctx, path.c_str(), 1) == 0;
}

struct Tally {
    int trials = 0, answers = 0, close = 0;
    void add(bool answered, double error) {
        ++trials;
        if (answered) {
            ++answers;
            if (std::fabs(error) <= 0.5) ++close;
        }
    }
    void print(const char* what) const {
        std::printf("  %-34s trials %4d  answered %5.1f %%  within 0.5 deg %5.1f %% of answers\n", what, trials,
                    trials ? 100.0 * answers / trials : 0.0, answers ? 100.0 * close / answers : 0.0);
    }
};

struct LevelTallies {
    Tally straighten, level, confident;
    void measure(EngineContext* ctx, double truth) {
        float a = 0.0f, r = 0.0f, c = 0.0f;
        if (vantorix_auto_straighten(ctx, &a) == 0) straighten.add(a != 0.0f, a - truth);
        const int s = vantorix_auto_level(ctx, &r, &c);
        if (s >= 0) level.add(s == 0, r - truth);
        if (s >= 0) confident.add(s == 0 && c >= 0.6f, r - truth);
    }
    void print(const char* title) const {
        if (*title) std::printf("%s\n", title);
        straighten.print("vantorix_auto_straighten");
        level.print("vantorix_auto_level");
        confident.print("vantorix_auto_level, confidence >= 0.6");
    }
};

double trial_angle(cv::RNG& rng) {
    const double a = rng.uniform(1.0, 8.0);
    return rng.uniform(0, 2) ? a : -a;
}

int run_level(const std::string& corpus) {
    EngineContext* ctx = vantorix_create_context();
    cv::RNG rng(20261206);
    LevelTallies scenes, shapeless, photos;
    for (int i = 0; i < 60; ++i) {
        const double r = trial_angle(rng);
        const cv::Mat img = rotated_middle(level_scene(cv::Size(1500, 1050), rng), r, cv::Size(1200, 800));
        if (load(ctx, img, "level.png")) scenes.measure(ctx, -r);
    }
    for (int i = 0; i < 60; ++i)
        if (load(ctx, shapeless_scene(cv::Size(1200, 800), rng), "shapeless.png")) shapeless.measure(ctx, 1e9);
    std::vector<std::string> files;
    for (const char* sub : {"jpeg", "raw"}) {
        const fs::path dir = fs::path(corpus) / sub;
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind("neg_", 0) != 0) files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        if (vantorix_load_arw(ctx, f.c_str(), 1) != 0) continue;
        for (int t = 0; t < 4; ++t) {
            const double r = trial_angle(rng);
            vantorix_reset_adjustments(ctx);
            vantorix_set_rotation(ctx, static_cast<float>(r));
            if (vantorix_process(ctx) != 0) break;
            const int w = vantorix_get_width(ctx), h = vantorix_get_height(ctx);
            cv::Mat rgba(h, w, CV_8UC4), bgr;
            if (vantorix_get_preview(ctx, rgba.data, static_cast<int>(rgba.total() * 4)) != 0) break;
            cv::cvtColor(rgba(cv::Rect(w * 15 / 100, h * 15 / 100, w * 70 / 100, h * 70 / 100)), bgr, cv::COLOR_RGBA2BGR);
            EngineContext* turned = vantorix_create_context();
            if (load(turned, bgr, "photo.png")) {
                photos.measure(turned, -r);
                if (std::getenv("VANTORIX_EVAL_VERBOSE")) {
                    float a = 0.0f, l = 0.0f, c = 0.0f;
                    vantorix_auto_straighten(turned, &a);
                    const int s = vantorix_auto_level(turned, &l, &c);
                    std::printf("%s turned %+.2f: straighten %+.2f, level status %d %+.2f (confidence %.2f)\n",
                                fs::path(f).filename().c_str(), r, a, s, l, c);
                }
            }
            vantorix_destroy_context(turned);
        }
    }
    vantorix_destroy_context(ctx);
    scenes.print("generated level scenes, turned 1..8 degrees:");
    shapeless.print("generated scenes without level structure (every answer is wrong):");
    std::printf("corpus photos (%zu files, 4 turns each), middle 70 %%:\n", files.size());
    photos.print("");
    return 0;
}

// A textured subject (ellipse or polygon) on a textured background, anywhere,
// sometimes cut by an edge of the frame.
cv::Mat subject_scene(cv::Size size, cv::RNG& rng, cv::Mat& truth) {
    cv::Mat img = textured(size, random_colour(rng), 18, rng);
    for (int k = 0; k < 12; ++k)  // background clutter
        cv::rectangle(img, cv::Rect(rng.uniform(0, size.width), rng.uniform(0, size.height), rng.uniform(10, 80),
                                    rng.uniform(10, 80)),
                      random_colour(rng), cv::FILLED);
    truth = cv::Mat::zeros(size, CV_8UC1);
    const cv::Point c(rng.uniform(size.width / 5, 4 * size.width / 5), rng.uniform(size.height / 5, 4 * size.height / 5));
    const int rx = rng.uniform(size.width / 8, size.width / 3), ry = rng.uniform(size.height / 8, size.height / 3);
    cv::Point edge_c = c;
    if (rng.uniform(0, 3) == 0) edge_c.x = rng.uniform(0, 2) ? size.width - rx / 2 : rx / 2;  // touches an edge
    if (rng.uniform(0, 2)) {
        cv::ellipse(truth, edge_c, cv::Size(rx, ry), rng.uniform(0.0, 180.0), 0, 360, cv::Scalar(255), cv::FILLED);
    } else {
        std::vector<cv::Point> pts, hull;
        for (int k = 0; k < 9; ++k) {
            const double a = rng.uniform(0.0, 2 * CV_PI);
            pts.emplace_back(edge_c.x + static_cast<int>(rx * std::cos(a)), edge_c.y + static_cast<int>(ry * std::sin(a)));
        }
        cv::convexHull(pts, hull);
        cv::fillConvexPoly(truth, hull, cv::Scalar(255));
    }
    const cv::Mat subject = textured(size, random_colour(rng), 18, rng);
    for (int y = 0; y < size.height; y += 14) cv::line(subject, cv::Point(0, y), cv::Point(size.width, y + 40), random_colour(rng), 3);
    subject.copyTo(img, truth);
    return img;
}

double iou(EngineContext* ctx, const cv::Mat& truth) {
    cv::Mat m(truth.size(), CV_8UC1);
    if (vantorix_get_mask(ctx, m.data, static_cast<int>(m.total())) != 0) return 0.0;
    const cv::Mat a = m >= 128, b = truth != 0;
    const double u = cv::countNonZero(a | b);
    return u > 0 ? cv::countNonZero(a & b) / u : 0.0;
}

int run_seed() {
    EngineContext* ctx = vantorix_create_context();
    cv::RNG rng(4242);
    double sum[3] = {0, 0, 0};
    int n = 0;
    for (int i = 0; i < 50; ++i) {
        cv::Mat truth;
        const cv::Mat img = subject_scene(cv::Size(800, 600), rng, truth);
        if (!load(ctx, img, "subject.png")) continue;
        const cv::Rect box = cv::boundingRect(truth);
        const float W = static_cast<float>(img.cols), H = static_cast<float>(img.rows);
        const double centre = vantorix_segment_subject(ctx, -1.0f, -1.0f) == 0 ? iou(ctx, truth) : 0.0;
        const double automatic = vantorix_segment_subject_auto(ctx) == 0 ? iou(ctx, truth) : 0.0;
        const double boxed =
            vantorix_segment_subject_box(ctx, box.x / W, box.y / H, box.width / W, box.height / H) == 0 ? iou(ctx, truth)
                                                                                                      : 0.0;
        sum[0] += centre;
        sum[1] += automatic;
        sum[2] += boxed;
        ++n;
        if (i < 3) cv::imwrite(kTmp + "/subject_" + std::to_string(i) + ".png", img);
    }
    vantorix_destroy_context(ctx);
    std::printf("mean IoU over %d generated scenes (800 x 600, subject off-centre, a third touching an edge):\n", n);
    std::printf("  centred rectangle (vantorix_segment_subject -1,-1)  %.3f\n", sum[0] / n);
    std::printf("  automatic seed (vantorix_segment_subject_auto)      %.3f\n", sum[1] / n);
    std::printf("  box around the subject (vantorix_segment_subject_box) %.3f\n", sum[2] / n);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    fs::create_directories(kTmp);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "level") return run_level(argc > 2 ? argv[2] : VANTORIX_SOURCE_DIR "/../shared/corpus");
    if (mode == "seed") return run_seed();
    std::fprintf(stderr, "usage: vantorix_level_seed_eval level [CORPUS_DIR] | seed\n");
    return 2;
}
