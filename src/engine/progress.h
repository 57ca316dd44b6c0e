#pragma once
// Progress reports and cancellation of the long calls. One Progress lives for
// the duration of one exported call, on the caller's stack.
#include <algorithm>
#include <atomic>
#include <thread>

namespace vantorix {

using ProgressFn = int (*)(void* user, int stage, float fraction);

class Progress {
public:
    Progress(ProgressFn fn, void* user) : fn_(fn), user_(user), owner_(std::this_thread::get_id()) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Tells the host how far `stage` has got (0..1). Fractions of one stage
    // never go back: a smaller value is raised to the last one reported. The
    // host is called only from the thread that made this object; a report
    // from any other thread just returns the cancellation state. Returns true
    // once the host has asked to cancel (and from then on).
    bool report(int stage, float fraction) {
        if (cancelled_.load(std::memory_order_relaxed)) return true;
        if (!fn_ || std::this_thread::get_id() != owner_) return false;
        if (stage != stage_) {
            stage_ = stage;
            last_ = 0.0f;
        }
        if (!(fraction >= last_)) fraction = last_;  // also NaN
        fraction = std::min(fraction, 1.0f);
        last_ = fraction;
        if (fn_(user_, stage, fraction) != 0) cancelled_.store(true, std::memory_order_relaxed);
        return cancelled_.load(std::memory_order_relaxed);
    }

    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

private:
    ProgressFn fn_;
    void* user_;
    std::thread::id owner_;
    int stage_ = -1;
    float last_ = 0.0f;
    std::atomic<bool> cancelled_{false};
};

// The message of a call the host cancelled.
constexpr const char* kCancelledMessage = "cancelled";

}  // namespace vantorix
