// Progress reports of the long calls, and cancellation that leaves the
// context, and any file, exactly as they were.
#include <filesystem>
#include <functional>
#include <thread>

#include "support/test_support.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

const std::thread::id test_thread = std::this_thread::get_id();

struct Recorder {
    int cancel_stage = 0, cancel_at = 0, seen = 0;  // cancel at the cancel_at-th report of cancel_stage
    std::vector<std::pair<int, float>> calls;
    static int callback(void* user, int stage, float fraction) {
        auto* r = static_cast<Recorder*>(user);
        r->calls.push_back({stage, fraction});
        EXPECT_EQ(std::this_thread::get_id(), test_thread) << "reported on another thread";
        return stage == r->cancel_stage && ++r->seen == r->cancel_at ? 1 : 0;
    }
};

std::string photo(const char* name, int w, int h) {
    write_image(temp_path(name), disc_image(w, h, {w / 2.0f, h / 2.0f}, h / 3.0f));
    return temp_path(name);
}

// What a host can observe without changing the context: settings, mask,
// and the development an export writes (the stored one while it is valid).
std::vector<Bytes> snapshot(EngineContext* ctx) {
    Bytes settings(static_cast<size_t>(vantorix_get_settings_json(ctx, nullptr, 0)) + 1), mask(1 << 20);
    vantorix_get_settings_json(ctx, reinterpret_cast<char*>(settings.data()), static_cast<int>(settings.size()));
    if (vantorix_get_mask(ctx, mask.data(), static_cast<int>(mask.size())) != 0) mask.clear();
    EXPECT_EQ(vantorix_export_tiff(ctx, temp_path("snapshot.tif").c_str()), 0);
    return {settings, mask, read_bytes(temp_path("snapshot.tif"))};
}

struct Op {  // stages: reported in this order when nothing is cancelled
    const char* name;
    std::function<int(EngineContext*, const std::string& file)> run;
    std::vector<int> stages;
};

std::vector<Op> operations() {
    const std::string other = photo("progress_other.jpg", 900, 500), raw = CORPUS_FILE("raw/kodak_dc50_DC0008L.KDC");
    std::vector<Op> ops = {
        {"load", [=](auto c, auto&) { return vantorix_load_arw(c, other.c_str(), 1); }, {VANTORIX_STAGE_LOAD}},
        {"process", [](auto c, auto&) { return vantorix_process(c); }, {VANTORIX_STAGE_PROCESS}},
        {"preview", [](auto c, auto&) { Bytes b(1 << 20); return vantorix_get_preview(c, b.data(), 1 << 20); },
         {VANTORIX_STAGE_PROCESS}},
        {"segment", [](auto c, auto&) { return vantorix_segment_subject(c, 0.4f, -1.0f); }, {VANTORIX_STAGE_SEGMENT}},
        {"export", [](auto c, auto& f) { return vantorix_export_png(c, f.c_str(), 16); }, {VANTORIX_STAGE_EXPORT}},
        {"export that develops", [](auto c, auto& f) { return vantorix_export_jpeg(c, f.c_str(), 90, 0, 0); },
         {VANTORIX_STAGE_PROCESS, VANTORIX_STAGE_EXPORT}},
        {"raw load", [=](auto c, auto&) { return vantorix_load_arw(c, raw.c_str(), 2); }, {VANTORIX_STAGE_RAW_DEVELOP}},
    };
    if (raw.empty()) ops.pop_back();
    return ops;
}

TEST(Progress, FractionsClimbToOneAndCancelLeavesTheContextAndFilesAsTheyWere) {
    int row = 0, cancelled = 0;
    for (const Op& op : operations())
        for (int stage : op.stages)
            for (int at : {0, 1, 2, 5}) {  // cancel at this report of the stage; 0: never
                SCOPED_TRACE(::testing::Message() << op.name << ", stage " << stage << ", report " << at);
                // A loaded photo, a mask, a development older than the settings (or none valid), and an
                // existing output file in a folder of its own.
                Context ctx;
                const std::string dir = temp_path("progress_" + std::to_string(row++));
                std::filesystem::create_directories(dir);
                load_image(ctx, disc_image(240, 160, {120.0f, 80.0f}, 53.0f), "progress_base.png");
                ASSERT_FALSE(vantorix_segment_subject(ctx, -1, -1) || vantorix_process(ctx));
                if (op.stages.size() > 1) vantorix_reset_adjustments(ctx);  // no valid development: export develops
                vantorix_set_exposure(ctx, -0.7f);
                vantorix_set_crop(ctx, 0.1f, 0.1f, 0.5f, 0.5f);
                write_bytes(dir + "/existing.png", {'o', 'l', 'd'});
                const auto before = snapshot(ctx);
                Recorder rec{stage, at, 0, {}};
                ASSERT_EQ(vantorix_set_progress_callback(ctx, Recorder::callback, &rec), 0);
                const int result = op.run(ctx, dir + "/existing.png");
                vantorix_set_progress_callback(ctx, nullptr, &rec);  // removed: no more calls
                const size_t reports = rec.calls.size();
                if (at == 0) {
                    ASSERT_TRUE(result == 0 && reports >= 3) << vantorix_last_error(ctx) << " / " << reports;
                    std::vector<int> stages{rec.calls[0].first};
                    for (size_t i = 1; i < reports; ++i) {
                        const auto [s, f] = rec.calls[i - 1];  // never down within a stage; the next only after 1
                        EXPECT_TRUE(rec.calls[i].first == s ? rec.calls[i].second >= f : f == 1.0f) << "report " << i;
                        if (rec.calls[i].first != s) stages.push_back(rec.calls[i].first);
                    }
                    EXPECT_EQ(stages, op.stages);
                    EXPECT_TRUE(rec.calls.front().second == 0.0f && rec.calls.back().second == 1.0f);
                    EXPECT_TRUE(vantorix_process(ctx) == 0 && rec.calls.size() == reports);
                    continue;
                }
                // Skipped: a stage with fewer reports, or a cancel at fraction 1 (may come too late).
                if (rec.seen < at || rec.calls.back().second == 1.0f) continue;
                ++cancelled;
                EXPECT_EQ(std::to_string(result) + " " + vantorix_last_error(ctx), "-1 cancelled");
                EXPECT_EQ(rec.calls.back().first, stage);  // no report after the cancelling one
                EXPECT_TRUE(snapshot(ctx) == before);
                EXPECT_EQ(read_bytes(dir + "/existing.png"), (Bytes{'o', 'l', 'd'}));
                EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no partial file
            }
    EXPECT_GE(cancelled, 15);  // every stage kind, at its first report and later ones
}

}  // namespace
