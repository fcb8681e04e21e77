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
    // COMn, a device path or a network address; COM2 by default, the port the window
    // starts on.
    std::string port = "COM2";
    std::optional<unsigned> baud;
    std::string tracePath;
};

// The line the options chose, with its trace file, and the session the command's operations
// run in, made from the settings as the window makes each operation's.
struct OpenedLine {
    LineSettings settings;
    std::unique_ptr<TraceFile> trace;
    std::string portName;  // "COM2" when the port was given by its COM name, else empty
    std::optional<Link> session;

    OpenedLine() = default;
    OpenedLine(const OpenedLine&) = delete;
    OpenedLine& operator=(const OpenedLine&) = delete;
    // Ctrl+C no longer reaches the link once it is gone.
    ~OpenedLine() {
        if (session) UnwatchInterrupts(*session);
    }

    Link& link() { return *session; }
    const Link& link() const { return *session; }
};

// Takes the port and speed of the options into `line`'s settings, makes its session from them,
// attaches the trace and lets Ctrl+C stop what runs on it. On failure returns the exit code
// (usage or file) after printing why; 0 on success.
int SetUpLine(const LineOptions& options, OpenedLine& line);

// Prints a failure's status text to stderr, then the port and device it was on ("Порт: COM2",
// "Устройство: /dev/ttyS1") and, when the port did not open, why (`detail`, by default the
// link's own LinkDetail).
void PrintLineFailure(int32_t status, const OpenedLine& line);
void PrintLineFailure(int32_t status, const std::string& detail, const OpenedLine& line);

}  // namespace rv::cli
