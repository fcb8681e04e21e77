#include "progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace rv::cli {

ProgressLine::ProgressLine() : terminal_(isatty(STDERR_FILENO) == 1) {}

void ProgressLine::show(const std::string& text) {
    if (!terminal_) return;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    dirty_ = true;
}

void ProgressLine::clear() {
    if (!dirty_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    dirty_ = false;
}

std::string Bar(int percent) {
    percent = std::clamp(percent, 0, 100);
    std::string bar = "[";
    const int filled = percent / 10;
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(10 - filled), '-');
    char tail[16];
    std::snprintf(tail, sizeof tail, "] %3d%%", percent);
    return bar + tail;
}

std::string Clock(long seconds) {
    seconds = std::max(seconds, 0L);
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    }
    return text;
}

}  // namespace rv::cli
