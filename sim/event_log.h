#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace rv::sim {

// One JSON object per line: {"t":seconds,"dir":"rx"|"tx","net":N,"text":"..."}, with t read
// from the monotonic clock. rx lines also carry "baud", the line speed the request came at.
class EventLog {
  public:
    EventLog() = default;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;
    ~EventLog();

    bool open(const std::string& path, std::string& error);
    void request(double t, unsigned net, std::string_view command, unsigned baud);
    void reply(double t, unsigned net, std::string_view bytes);

  private:
    std::FILE* file_ = nullptr;
};

// `text` as the inside of a JSON string; every byte above 0x7F or below 0x20 becomes \u00XX.
std::string jsonEscape(std::string_view text);

}  // namespace rv::sim
