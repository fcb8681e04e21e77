#pragma once

#include <string>

namespace rv::cli {

// One line on stderr, rewritten in place, shown only when stderr is a terminal.
class ProgressLine {
  public:
    ProgressLine();
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool shown() const { return terminal_; }
    void show(const std::string& text);
    // Removes the line, so that the next output starts on a clean line.
    void clear();

  private:
    bool terminal_;
    bool dirty_ = false;
};

// "[#####-----]  45%", ten cells wide.
std::string Bar(int percent);

// Seconds as "m:ss" (or "h:mm:ss" from an hour on).
std::string Clock(long seconds);

}  // namespace rv::cli
