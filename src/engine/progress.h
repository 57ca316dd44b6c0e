#pragma once
// Progress reports and cancellation of the long calls. One Progress lives for
// the duration of one exported call, on the caller's stack.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

namespace vantorix {

using ProgressFn = int (*)(void* user, int stage, float fraction);

class Progress {
public:
    // The longest the host waits for a call while work runs.
    static constexpr std::chrono::milliseconds kHeartbeat{50};

    Progress(ProgressFn fn, void* user) : fn_(fn), user_(user), owner_(std::this_thread::get_id()) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Tells the host how far `stage` has got (0..1). Fractions of one stage
    // never go back: a smaller value is raised to the last one reported. The
    // host is called only from the thread that made this object: a report
    // from the thread running the work of run() is handed to it and waits for
    // the host's answer; a report from any other thread just returns the
    // cancellation state. Returns true once the host has asked to cancel (and
    // from then on).
    bool report(int stage, float fraction) {
        if (cancelled()) return true;
        if (!fn_) return false;
        const std::thread::id me = std::this_thread::get_id();
        if (me == owner_ && !running_) return deliver(stage, fraction);
        if (me != worker_.load()) return cancelled();
        std::unique_lock<std::mutex> lock(mutex_);
        pending_ = true;
        pending_stage_ = stage;
        pending_fraction_ = fraction;
        wake_.notify_all();
        wake_.wait(lock, [&] { return !pending_; });
        return cancelled();
    }

    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    // Runs `work` and returns its result. With a host callback the work runs
    // on a thread of its own while this thread passes on its reports and, in
    // between, tells the host the last fraction again at least every
    // kHeartbeat (`stage` at 0 before the first report), so that the host is
    // called even while one long library call runs. The work's exceptions are
    // rethrown here. Without a callback, or when no thread can be started,
    // the work runs on this thread.
    template <class Work>
    auto run(int stage, Work&& work) -> decltype(work()) {
        using Result = decltype(work());
        if (!fn_ || running_) return work();
        std::exception_ptr error;
        bool done = false;
        std::conditional_t<std::is_void_v<Result>, char, Result> result{};
        std::thread thread;
        try {
            thread = std::thread([&] {
                worker_.store(std::this_thread::get_id());
                try {
                    if constexpr (std::is_void_v<Result>)
                        work();
                    else
                        result = work();
                } catch (...) {
                    error = std::current_exception();
                }
                std::lock_guard<std::mutex> lock(mutex_);
                done = true;
                wake_.notify_all();
            });
        } catch (const std::system_error&) {
            return work();
        }
        running_ = true;
        if (stage_ < 0) stage_ = stage;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done || pending_) {
            const bool woken = wake_.wait_for(lock, kHeartbeat, [&] { return done || pending_; });
            const bool answer = pending_;
            const int s = answer ? pending_stage_ : stage_;
            const float f = answer ? pending_fraction_ : last_;
            if (!answer && woken) continue;  // finished
            lock.unlock();
            deliver(s, f);
            lock.lock();
            if (cancelled() && on_cancel_) on_cancel_();
            if (answer) {
                pending_ = false;
                wake_.notify_all();
            }
        }
        lock.unlock();
        thread.join();
        running_ = false;
        worker_.store(std::thread::id());
        if (error) std::rethrow_exception(error);
        if constexpr (!std::is_void_v<Result>) return result;
    }

    // While set, called (from the thread that made this object) when the host
    // cancels during run(), so that a long library call can stop early. Set
    // and cleared by the work itself, before it reports again.
    void on_cancel(std::function<void()> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        on_cancel_ = std::move(hook);
    }

private:
    bool deliver(int stage, float fraction) {
        if (stage != stage_) {
            stage_ = stage;
            last_ = 0.0f;
        }
        if (!(fraction >= last_)) fraction = last_;  // also NaN
        fraction = std::min(fraction, 1.0f);
        last_ = fraction;
        if (!cancelled() && fn_(user_, stage, fraction) != 0) cancelled_.store(true, std::memory_order_relaxed);
        return cancelled();
    }

    ProgressFn fn_;
    void* user_;
    std::thread::id owner_;
    std::atomic<std::thread::id> worker_{};
    bool running_ = false;  // run() is under way (read by the owner only)
    int stage_ = -1;        // the last stage and fraction the host was told (owner only)
    float last_ = 0.0f;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;  // a report of the work waits for the host (guarded by mutex_)
    int pending_stage_ = 0;
    float pending_fraction_ = 0.0f;
    std::function<void()> on_cancel_;  // guarded by mutex_
};

// The message of a call the host cancelled.
constexpr const char* kCancelledMessage = "cancelled";

}  // namespace vantorix
