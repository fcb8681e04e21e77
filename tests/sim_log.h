#pragma once

// The requests rv740x-sim heard, read back from its --log file.

#include <fstream>
#include <string>
#include <vector>

namespace rv::test {

struct HeardRequest {
    unsigned net = 0;
    unsigned baud = 0;
    std::string text;
};

inline std::string jsonStringAfter(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":\"";
    const size_t start = line.find(marker);
    if (start == std::string::npos) return {};
    const size_t from = start + marker.size();
    return line.substr(from, line.find('"', from) - from);
}

inline unsigned jsonNumberAfter(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const size_t start = line.find(marker);
    if (start == std::string::npos) return 0;
    return static_cast<unsigned>(std::stoul(line.substr(start + marker.size())));
}

// Every request line of the log, in order.
inline std::vector<HeardRequest> HeardRequests(const std::string& logPath) {
    std::vector<HeardRequest> heard;
    std::ifstream in(logPath);
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"dir\":\"rx\"") == std::string::npos) continue;
        heard.push_back({jsonNumberAfter(line, "net"), jsonNumberAfter(line, "baud"),
                         jsonStringAfter(line, "text")});
    }
    return heard;
}

}  // namespace rv::test
