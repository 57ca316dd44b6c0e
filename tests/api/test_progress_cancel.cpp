// Progress reports of the long calls, and cancellation that leaves the
// context, and any file, exactly as they were.
#include <dirent.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using testsupport::Context;

struct Recorder {
    std::vector<std::pair<int, float>> calls;
    bool foreign_thread = false;
    int cancel_stage = 0, cancel_at = 0, seen = 0;  // cancel at the cancel_at-th report of cancel_stage
    std::thread::id owner = std::this_thread::get_id();
    static int callback(void* user, int stage, float fraction) {
        auto* r = static_cast<Recorder*>(user);
        r->calls.push_back({stage, fraction});
        r->foreign_thread |= std::this_thread::get_id() != r->owner;
        return stage == r->cancel_stage && ++r->seen == r->cancel_at ? 1 : 0;
    }
};

std::string photo(const char* name, int w, int h) {
    cv::Mat bgr(h, w, CV_8UC3);
    cv::randu(bgr, 0, 256);
    bgr(cv::Rect(w / 3, h / 3, w / 3, h / 3)).setTo(cv::Scalar(20, 200, 40));
    testsupport::write_image(testsupport::temp_path(name), bgr);
    return testsupport::temp_path(name);
}

// What a host can observe without changing the context: settings, size, mask,
// and the development an export writes (the stored one while it is valid).
std::vector<std::vector<uint8_t>> snapshot(EngineContext* ctx) {
    std::vector<uint8_t> settings(static_cast<size_t>(vantorix_get_settings_json(ctx, nullptr, 0)) + 1);
    vantorix_get_settings_json(ctx, reinterpret_cast<char*>(settings.data()), static_cast<int>(settings.size()));
    const int wh[2] = {vantorix_get_width(ctx), vantorix_get_height(ctx)};
    std::vector<uint8_t> mask(1 << 20), size(reinterpret_cast<const uint8_t*>(wh), reinterpret_cast<const uint8_t*>(wh + 2));
    if (vantorix_get_mask(ctx, mask.data(), static_cast<int>(mask.size())) != 0) mask.clear();
    const std::string tif = testsupport::temp_path("snapshot.tif");
    EXPECT_EQ(vantorix_export_tiff(ctx, tif.c_str()), 0);
    return {settings, size, mask, testsupport::read_bytes(tif)};
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    if (d) closedir(d);
    return names;
}

struct Op {
    const char* name;
    std::function<int(EngineContext*, const std::string& file)> run;
    std::vector<int> stages;  // reported in this order when nothing is cancelled
    bool invalidate = false;  // start without a valid development
};

std::vector<Op> operations() {
    const std::string other = photo("progress_other.jpg", 900, 500);
    const std::string raw = CORPUS_FILE("raw/kodak_dc50_DC0008L.KDC");
    std::vector<Op> ops = {
        {"load", [=](EngineContext* c, const std::string&) { return vantorix_load_arw(c, other.c_str(), 1); },
         {VANTORIX_STAGE_LOAD}},
        {"process", [](EngineContext* c, const std::string&) { return vantorix_process(c); }, {VANTORIX_STAGE_PROCESS}},
        {"preview",
         [](EngineContext* c, const std::string&) {
             std::vector<uint8_t> buf(1 << 20);
             return vantorix_get_preview(c, buf.data(), static_cast<int>(buf.size()));
         },
         {VANTORIX_STAGE_PROCESS}},
        {"segment", [](EngineContext* c, const std::string&) { return vantorix_segment_subject(c, 0.4f, -1.0f); },
         {VANTORIX_STAGE_SEGMENT}},
        {"export", [](EngineContext* c, const std::string& f) { return vantorix_export_png(c, f.c_str(), 16); },
         {VANTORIX_STAGE_EXPORT}},
        {"export that develops",
         [](EngineContext* c, const std::string& f) { return vantorix_export_jpeg(c, f.c_str(), 90, 0, 0); },
         {VANTORIX_STAGE_PROCESS, VANTORIX_STAGE_EXPORT}, true},
    };
    if (!raw.empty())
        ops.push_back({"raw load", [=](EngineContext* c, const std::string&) { return vantorix_load_arw(c, raw.c_str(), 2); },
                       {VANTORIX_STAGE_RAW_DEVELOP}});
    return ops;
}

// A loaded photo, a mask, and a development older than the settings (or none
// valid), and an existing output file in a folder of its own.
std::string prepare(EngineContext* ctx, const Op& op, int row) {
    static const std::string base = photo("progress_base.png", 240, 160);
    const std::string dir = testsupport::temp_path("progress_" + std::to_string(row));
    ::mkdir(dir.c_str(), 0755);
    EXPECT_EQ(vantorix_load_arw(ctx, base.c_str(), 1), 0);
    EXPECT_EQ(vantorix_segment_subject(ctx, -1, -1), 0);
    EXPECT_EQ(vantorix_process(ctx), 0);
    if (op.invalidate) vantorix_reset_adjustments(ctx);
    vantorix_set_exposure(ctx, -0.7f);
    vantorix_set_crop(ctx, 0.1f, 0.1f, 0.5f, 0.5f);
    testsupport::write_bytes(dir + "/existing.png", {'o', 'l', 'd'});
    return dir;
}

TEST(Progress, FractionsClimbToOneOnTheCallersThread) {
    int row = 0;
    for (const Op& op : operations()) {
        SCOPED_TRACE(op.name);
        Context ctx;
        const std::string dir = prepare(ctx, op, row++);
        Recorder rec;
        ASSERT_EQ(vantorix_set_progress_callback(ctx, Recorder::callback, &rec), 0);
        ASSERT_EQ(op.run(ctx, dir + "/existing.png"), 0) << vantorix_last_error(ctx);
        ASSERT_GE(rec.calls.size(), 3u);
        EXPECT_FALSE(rec.foreign_thread);
        std::vector<int> stages{rec.calls[0].first};
        for (size_t i = 1; i < rec.calls.size(); ++i) {
            const auto& [stage, fraction] = rec.calls[i];
            if (stage != stages.back()) {
                EXPECT_EQ(rec.calls[i - 1].second, 1.0f) << "stage " << stages.back() << " did not end at 1";
                stages.push_back(stage);
            } else {
                EXPECT_GE(fraction, rec.calls[i - 1].second);
            }
        }
        EXPECT_EQ(stages, op.stages);
        EXPECT_EQ(rec.calls.front().second, 0.0f);
        EXPECT_EQ(rec.calls.back().second, 1.0f);
        vantorix_set_progress_callback(ctx, nullptr, &rec);  // removed: no more calls
        rec.calls.clear();
        EXPECT_EQ(vantorix_process(ctx), 0);
        EXPECT_TRUE(rec.calls.empty());
    }
}

TEST(Progress, CancelLeavesTheContextAndFilesAsTheyWere) {
    int row = 100, cancelled = 0;
    for (const Op& op : operations())
        for (int stage : op.stages)
            for (int at : {1, 2, 5}) {
                SCOPED_TRACE(std::string(op.name) + ", stage " + std::to_string(stage) + ", report " + std::to_string(at));
                Context ctx;
                const std::string dir = prepare(ctx, op, row++);
                const auto before = snapshot(ctx);
                Recorder rec;
                rec.cancel_stage = stage;
                rec.cancel_at = at;
                vantorix_set_progress_callback(ctx, Recorder::callback, &rec);
                const int result = op.run(ctx, dir + "/existing.png");
                vantorix_set_progress_callback(ctx, nullptr, nullptr);
                // Skipped: a stage with fewer reports, or a cancel at fraction 1 (may come too late).
                if (rec.seen < at || rec.calls.back().second == 1.0f) continue;
                ++cancelled;
                EXPECT_EQ(result, -1);
                EXPECT_STREQ(vantorix_last_error(ctx), "cancelled");
                EXPECT_EQ(rec.calls.back().first, stage);  // no report after the cancelling one
                EXPECT_TRUE(snapshot(ctx) == before);
                EXPECT_EQ(testsupport::read_bytes(dir + "/existing.png"), (std::vector<uint8_t>{'o', 'l', 'd'}));
                EXPECT_EQ(names_in(dir), std::vector<std::string>{"existing.png"});
            }
    EXPECT_GE(cancelled, 15);  // every stage kind, at its first report and later ones
}

}  // namespace
