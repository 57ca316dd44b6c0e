#include "progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace cli {

namespace {

std::string clock_text(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

size_t terminal_width() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10) return ws.ws_col;
    return 80;
}

}  // namespace

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine(std::string label, size_t total, bool enabled, bool timing)
    : label_(std::move(label)), total_(total), enabled_(enabled), timing_(timing),
      start_(std::chrono::steady_clock::now()) {}

void ProgressLine::draw_locked() {
    const int width = 30;
    const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '-');
    std::string line = label_ + " [" + bar + "] " + std::to_string(done_) + "/" + std::to_string(total_);
    if (timing_) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        line += "  " + clock_text(elapsed);
        if (done_ > 0 && done_ < total_)
            line += ", ~" + clock_text(elapsed / static_cast<double>(done_) * static_cast<double>(total_ - done_)) +
                    " left";
        if (!current_.empty() && done_ < total_) line += "  " + current_;
        const size_t max = terminal_width() - 1;  // never wrap: "\r" could not go back
        if (line.size() > max) line.resize(max);
    }
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::update(size_t done, const std::string& current) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = done;
    current_ = current;
    draw_locked();
}

void ProgressLine::message(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (enabled_ && drawn_) std::fputs("\r\x1b[K", stderr);
    std::fprintf(stderr, "%s\n", text.c_str());
    if (enabled_ && drawn_) draw_locked();
    std::fflush(stderr);
}

void ProgressLine::finish(size_t done) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = done;
    current_.clear();
    draw_locked();
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

}  // namespace cli
