#include "event_log.h"

#include <cerrno>
#include <cstring>

namespace rv::sim {

EventLog::~EventLog() {
    if (file_) std::fclose(file_);
}

bool EventLog::open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "ae");
    if (!file_) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string jsonEscape(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

void EventLog::request(double t, unsigned net, std::string_view command, unsigned baud) {
    if (!file_) return;
    std::fprintf(file_, "{\"t\":%.6f,\"dir\":\"rx\",\"net\":%u,\"text\":\"%s\",\"baud\":%u}\n", t,
                 net, jsonEscape(command).c_str(), baud);
    std::fflush(file_);
}

void EventLog::reply(double t, unsigned net, std::string_view bytes) {
    if (!file_) return;
    std::fprintf(file_, "{\"t\":%.6f,\"dir\":\"tx\",\"net\":%u,\"text\":\"%s\"}\n", t, net,
                 jsonEscape(bytes).c_str());
    std::fflush(file_);
}

}  // namespace rv::sim
