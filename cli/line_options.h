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

// The line the options chose, with its trace file.
struct OpenedLine {
    Link link;
    std::unique_ptr<TraceFile> trace;

    OpenedLine() = default;
    OpenedLine(const OpenedLine&) = delete;
    OpenedLine& operator=(const OpenedLine&) = delete;
    // Ctrl+C no longer reaches the link once it is gone.
    ~OpenedLine() { UnwatchInterrupts(link); }
};

// Points `line` at the port and speed of the options, attaches the trace and lets Ctrl+C stop
// what runs on it. On failure returns the exit code (usage or file) after printing why; 0 on
// success.
int SetUpLine(const LineOptions& options, OpenedLine& line);

// Prints a failure's status text to stderr and, on the line after it, why the port did not
// open when that was the failure.
void PrintLineFailure(int32_t status, const Link& link);
void PrintLineFailure(int32_t status, const std::string& detail);

}  // namespace rv::cli
