// While the work of a long call runs, the host hears from the caller's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/progress.h"
#include "vantorix.h"

namespace {

struct Host {
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> calls{0};
    std::vector<float> fractions;
    bool elsewhere = false, cancel_after_quarter = false, quarter_seen = false;  // cancel at the first call after 0.25
};

int host(void* user, int, float fraction) {
    auto* h = static_cast<Host*>(user);
    h->elsewhere = h->elsewhere || std::this_thread::get_id() != h->caller;
    h->fractions.push_back(fraction), ++h->calls;
    const int cancel = h->cancel_after_quarter && h->quarter_seen;
    return h->quarter_seen = h->quarter_seen || fraction == 0.25f, cancel;
}

// Waits (at most ten seconds) until `done` holds.
template <class Done>
bool wait_until(Done done) {
    for (int i = 0; i < 10000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

}  // namespace

TEST(ProgressHeartbeat, TheHostHearsFromTheCallerWhileOneCallRuns) {
    Host h;
    vantorix::Progress progress(host, &h);
    // The work never reports: only the heartbeat can call the host.
    EXPECT_EQ(progress.run(VANTORIX_STAGE_PROCESS, [&] { return wait_until([&] { return h.calls >= 3; }) ? 7 : -1; }), 7);
    EXPECT_FALSE(h.elsewhere);
    EXPECT_THROW(progress.run(VANTORIX_STAGE_EXPORT, []() -> int { throw std::runtime_error("disk full"); }),
                 std::runtime_error);  // the work's exception reaches the caller
}

TEST(ProgressHeartbeat, ReportsArriveInOrderAndCancellingStopsTheWork) {
    Host h;
    h.cancel_after_quarter = true;
    vantorix::Progress progress(host, &h);
    std::atomic<bool> stopped{false};
    const bool cancelled = progress.run(VANTORIX_STAGE_RAW_DEVELOP, [&] {
        EXPECT_FALSE(progress.report(VANTORIX_STAGE_RAW_DEVELOP, 0.25f));
        progress.on_cancel([&] { stopped = true; });  // a library call that can be told to stop
        const bool told = wait_until([&] { return stopped.load(); });
        progress.on_cancel(nullptr);
        return told && progress.report(VANTORIX_STAGE_RAW_DEVELOP, 0.5f);
    });
    EXPECT_TRUE(cancelled && !h.elsewhere && h.quarter_seen);
    EXPECT_TRUE(std::is_sorted(h.fractions.begin(), h.fractions.end()));
}
