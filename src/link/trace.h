#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace rv {

// One frame on the line as the trace records it.
struct TraceRecord {
    enum class Direction { Sent, Received };
    int64_t microseconds = 0;  // monotonic clock
    Direction direction = Direction::Sent;
    uint32_t netNumber = 0;
    std::string_view bytes;
    std::string_view outcome;  // an English key such as "sent", "ok" or "no-reply"
};

// Where a link reports every frame it sends and every reply it waits for.
class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void record(const TraceRecord& record) = 0;
};

// Bytes as printable text: printable ASCII as it is, backslash and double quote escaped,
// CR, LF and TAB as \r, \n, \t, every other byte as \xHH.
std::string EscapeBytes(std::string_view bytes);

// One line per frame: "<microseconds> <tx|rx> <net> \"<escaped bytes>\" <outcome>".
std::string FormatTraceLine(const TraceRecord& record);

// Writes trace lines to a file (created or truncated) or, for "-", to stderr; each line is
// flushed as it is written, so a trace survives a crash or a Ctrl+C.
class TraceFile : public TraceSink {
  public:
    // nullptr when the file cannot be opened.
    static std::unique_ptr<TraceFile> Open(const std::string& path);
    ~TraceFile() override;
    void record(const TraceRecord& record) override;

  private:
    TraceFile(std::FILE* file, bool owned) : file_(file), owned_(owned) {}
    std::FILE* file_;
    bool owned_;
};

// The monotonic clock in microseconds, the trace's time base.
int64_t TraceClockMicroseconds();

}  // namespace rv
