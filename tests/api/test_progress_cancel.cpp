// Progress reports of the long calls, and cancellation that leaves the
// context exactly as it was.
#include <dirent.h>
#include <sys/stat.h>

#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using testsupport::Context;

struct Recorder {
    struct Call {
        int stage;
        float fraction;
        std::thread::id thread;
    };
    std::vector<Call> calls;
    int cancel_stage = 0;  // cancel at the cancel_at-th report of this stage (1-based)
    int cancel_at = 0;
    int seen = 0;

    static int callback(void* user, int stage, float fraction) {
        auto* r = static_cast<Recorder*>(user);
        r->calls.push_back({stage, fraction, std::this_thread::get_id()});
        return stage == r->cancel_stage && ++r->seen == r->cancel_at ? 1 : 0;
    }
};

std::string photo(const char* name, int w, int h) {
    cv::Mat bgr(h, w, CV_8UC3);
    cv::randu(bgr, 0, 256);
    bgr(cv::Rect(w / 3, h / 3, w / 3, h / 3)).setTo(cv::Scalar(20, 200, 40));
    const std::string p = testsupport::temp_path(name);
    testsupport::write_image(p, bgr);
    return p;
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// Everything a host can observe, read without changing the context: the
// settings, the reported size, the mask, and the development an export writes
// (the stored one while it is valid, else a fresh one it does not keep).
struct Snapshot {
    std::string settings;
    int width, height;
    std::vector<uint8_t> mask, developed;
    bool operator==(const Snapshot& o) const {
        return settings == o.settings && width == o.width && height == o.height && mask == o.mask &&
               developed == o.developed;
    }
};

Snapshot snapshot(EngineContext* ctx) {
    Snapshot s;
    s.settings.resize(static_cast<size_t>(vantorix_get_settings_json(ctx, nullptr, 0)) + 1);
    vantorix_get_settings_json(ctx, &s.settings[0], static_cast<int>(s.settings.size()));
    s.width = vantorix_get_width(ctx);
    s.height = vantorix_get_height(ctx);
    s.mask.resize(4096 * 4096);
    if (vantorix_get_mask(ctx, s.mask.data(), static_cast<int>(s.mask.size())) != 0) s.mask.clear();
    const std::string tif = testsupport::temp_path("snapshot.tif");
    EXPECT_EQ(vantorix_export_tiff(ctx, tif.c_str()), 0);
    s.developed = testsupport::read_bytes(tif);
    std::remove(tif.c_str());
    return s;
}

struct Op {
    const char* name;
    std::function<int(EngineContext*, const std::string& out_dir)> run;
    std::vector<int> stages;  // reported in this order when nothing is cancelled
    std::function<void(EngineContext*)> setup = [](EngineContext*) {};
};

std::vector<Op> operations() {
    const std::string other = photo("progress_other.jpg", 900, 500);
    std::vector<Op> ops = {
        {"load", [=](EngineContext* c, const std::string&) { return vantorix_load_arw(c, other.c_str(), 1); },
         {VANTORIX_STAGE_LOAD}},
        {"process", [](EngineContext* c, const std::string&) { return vantorix_process(c); },
         {VANTORIX_STAGE_PROCESS}},
        {"preview",
         [](EngineContext* c, const std::string&) {
             std::vector<uint8_t> buf(4096 * 4096 * 4);
             return vantorix_get_preview(c, buf.data(), static_cast<int>(buf.size()));
         },
         {VANTORIX_STAGE_PROCESS}},
        {"segment", [](EngineContext* c, const std::string&) { return vantorix_segment_subject(c, 0.4f, -1.0f); },
         {VANTORIX_STAGE_SEGMENT}},
        {"export over a file",
         [](EngineContext* c, const std::string& dir) {
             return vantorix_export_png(c, (dir + "/existing.png").c_str(), 16);
         },
         {VANTORIX_STAGE_EXPORT}},
        {"export that develops",
         [](EngineContext* c, const std::string& dir) {
             return vantorix_export_jpeg(c, (dir + "/existing.png").c_str(), 90, 0, 0);
         },
         {VANTORIX_STAGE_PROCESS, VANTORIX_STAGE_EXPORT},
         [](EngineContext* c) {
             vantorix_reset_adjustments(c);  // the development is no longer valid
             vantorix_set_exposure(c, -0.5f);
         }},
    };
    const std::string raw = CORPUS_FILE("raw/kodak_dc50_DC0008L.KDC");
    if (!raw.empty())
        ops.push_back({"raw load",
                       [=](EngineContext* c, const std::string&) { return vantorix_load_arw(c, raw.c_str(), 2); },
                       {VANTORIX_STAGE_RAW_DEVELOP}});
    return ops;
}

// A loaded photo with a valid but stale development (settings changed since)
// and a mask, so that any change of state shows in the snapshot.
void prepare(EngineContext* ctx, const std::string& dir) {
    static const std::string base = photo("progress_base.png", 320, 240);
    ASSERT_EQ(vantorix_load_arw(ctx, base.c_str(), 1), 0);
    ASSERT_EQ(vantorix_segment_subject(ctx, -1, -1), 0);
    vantorix_set_exposure(ctx, 0.3f);
    ASSERT_EQ(vantorix_process(ctx), 0);
    vantorix_set_exposure(ctx, -0.7f);
    vantorix_set_crop(ctx, 0.1f, 0.1f, 0.5f, 0.5f);
    testsupport::write_bytes(dir + "/existing.png", {'o', 'l', 'd'});
}

TEST(Progress, FractionsClimbToOneOnTheCallersThread) {
    int row = 0;
    for (const Op& op : operations()) {
        SCOPED_TRACE(op.name);
        Context ctx;
        const std::string dir = testsupport::temp_path("progress_" + std::to_string(row++));
        ::mkdir(dir.c_str(), 0755);
        prepare(ctx, dir);
        op.setup(ctx);
        Recorder rec;
        ASSERT_EQ(vantorix_set_progress_callback(ctx, Recorder::callback, &rec), 0);
        ASSERT_EQ(op.run(ctx, dir), 0) << vantorix_last_error(ctx);
        std::vector<int> stages;
        for (size_t i = 0; i < rec.calls.size(); ++i) {
            const auto& c = rec.calls[i];
            EXPECT_EQ(c.thread, std::this_thread::get_id());
            EXPECT_GE(c.fraction, 0.0f);
            EXPECT_LE(c.fraction, 1.0f);
            if (stages.empty() || stages.back() != c.stage) {
                if (!stages.empty()) {
                    EXPECT_EQ(rec.calls[i - 1].fraction, 1.0f) << "stage " << stages.back();
                }
                stages.push_back(c.stage);
            } else {
                EXPECT_GE(c.fraction, rec.calls[i - 1].fraction);
            }
        }
        EXPECT_EQ(stages, op.stages);
        ASSERT_FALSE(rec.calls.empty());
        EXPECT_EQ(rec.calls.back().fraction, 1.0f);
        EXPECT_GE(rec.calls.size(), 3u);
        // Removed: no more calls.
        ASSERT_EQ(vantorix_set_progress_callback(ctx, nullptr, &rec), 0);
        rec.calls.clear();
        EXPECT_EQ(vantorix_process(ctx), 0);
        EXPECT_TRUE(rec.calls.empty());
    }
}

TEST(Progress, CancelLeavesTheContextAndFilesAsTheyWere) {
    int row = 0;
    for (const Op& op : operations()) {
        // Cancel at the first report of each stage, and at later ones.
        for (int stage : op.stages) {
            for (int at : {1, 2, 5}) {
                SCOPED_TRACE(std::string(op.name) + ", stage " + std::to_string(stage) + ", report " +
                             std::to_string(at));
                Context ctx;
                const std::string dir = testsupport::temp_path("cancel_" + std::to_string(row++));
                ::mkdir(dir.c_str(), 0755);
                prepare(ctx, dir);
                op.setup(ctx);
                const Snapshot before = snapshot(ctx);
                Recorder rec;
                rec.cancel_stage = stage;
                rec.cancel_at = at;
                vantorix_set_progress_callback(ctx, Recorder::callback, &rec);
                const int result = op.run(ctx, dir);
                vantorix_set_progress_callback(ctx, nullptr, nullptr);
                // Skipped: a stage with fewer reports, or a cancel at fraction 1 (may come too late).
                if (rec.seen < at || rec.calls.back().fraction == 1.0f) continue;
                EXPECT_EQ(result, -1);
                EXPECT_STREQ(vantorix_last_error(ctx), "cancelled");
                EXPECT_EQ(rec.calls.back().stage, stage);  // no report after the cancelling one
                EXPECT_TRUE(snapshot(ctx) == before);
                EXPECT_EQ(testsupport::read_bytes(dir + "/existing.png"), (std::vector<uint8_t>{'o', 'l', 'd'}));
                EXPECT_EQ(names_in(dir), std::vector<std::string>{"existing.png"});
            }
        }
    }
}

}  // namespace
