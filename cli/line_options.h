#pragma once

#include <memory>
#include <optional>
#include <string>

#include "interrupt.h"
#include "link/link.h"
#include "link/trace.h"

namespace rv::cli {

// The global options that say which line to use and how.
struct LineOptions {
    std::string port = "COM1";  // COMn or a device path
    std::optional<unsigned> baud;
    std::string tracePath;
};

// The speed-list index of a line speed, or -1 when the instruments have no such speed.
int SpeedIndexOfBaud(unsigned baud);

// The line the options chose, with its trace file, and the session the command's operations
// run in, made from the settings as the window makes each operation's.
struct OpenedLine {
    LineSettings settings;
    std::unique_ptr<TraceFile> trace;
    std::optional<Link> session;

    OpenedLine() = default;
    OpenedLine(const OpenedLine&) = delete;
    OpenedLine& operator=(const OpenedLine&) = delete;
    // Ctrl+C no longer reaches the link once it is gone.
    ~OpenedLine() {
        if (session) UnwatchInterrupts(*session);
    }

    Link& link() { return *session; }
};

// Takes the port and speed of the options into `line`'s settings, makes its session from them,
// attaches the trace and lets Ctrl+C stop what runs on it. On failure returns the exit code
// (usage or file) after printing why; 0 on success.
int SetUpLine(const LineOptions& options, OpenedLine& line);

// Prints a failure's status text to stderr and, on the line after it, why the port did not
// open when that was the failure.
void PrintLineFailure(int32_t status, const Link& link);

}  // namespace rv::cli
