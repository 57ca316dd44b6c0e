#pragma once
// One line of progress on stderr, redrawn in place ("\r"): a label, a bar,
// done/total and, for long runs, the elapsed time, an estimate of the time
// left and what is being worked on. Only on a terminal; thread-safe.
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace cli {

class ProgressLine {
public:
    // enabled: draw at all (callers pass stderr_is_terminal() && !quiet);
    // timing: add elapsed time, time left and the current item.
    ProgressLine(std::string label, size_t total, bool enabled, bool timing);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool enabled() const { return enabled_; }
    // Redraws with `done` items finished and `current` in progress.
    void update(size_t done, const std::string& current = std::string());
    // Prints a message on a line of its own above the progress line.
    void message(const std::string& text);
    // Draws the final state and ends the line.
    void finish(size_t done);

private:
    void draw_locked();
    std::mutex mutex_;
    std::string label_, current_;
    size_t total_, done_ = 0;
    bool enabled_, timing_, drawn_ = false;
    std::chrono::steady_clock::time_point start_;
};

bool stderr_is_terminal();

}  // namespace cli
