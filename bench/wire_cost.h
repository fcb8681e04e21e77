#pragma once

// What the exchanges an rv740x-sim log records cost on the wire.

#include <cstdlib>
#include <fstream>
#include <string>

#include "link/transact.h"

namespace rv::bench {

// The text of a log line's "text" member, unescaped.
inline std::string LogText(const std::string& line) {
    const std::string key = "\"text\":\"";
    size_t i = line.find(key);
    std::string text;
    if (i == std::string::npos) return text;
    for (i += key.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
            text += line[i];
            continue;
        }
        const char escaped = line[++i];
        if (escaped == 'u') {
            text += static_cast<char>(std::strtol(line.substr(i + 1, 4).c_str(), nullptr, 16));
            i += 4;
        } else {
            text += escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped;
        }
    }
    return text;
}

inline unsigned LogNet(const std::string& line) {
    const std::string key = "\"net\":";
    const size_t i = line.find(key);
    return i == std::string::npos ? 0
                                  : static_cast<unsigned>(std::atoi(line.c_str() + i + key.size()));
}

struct WireCost {
    long bytes = 0;       // every request frame and every reply
    long exchanges = 0;   // requests answered
    long unanswered = 0;  // requests heard and never answered
    long blockReads = 0;  // requests for 53 bytes of memory
    long byteWrites = 0;  // requests to write one byte
};

// The cost of the log lines from `fromLine` on; `lines` ends as the log's line count.
inline WireCost WireCostOfLog(const std::string& logPath, size_t fromLine, size_t& lines) {
    std::ifstream in(logPath);
    WireCost cost;
    lines = 0;
    bool awaiting = false;
    for (std::string line; std::getline(in, line); ++lines) {
        if (lines < fromLine) continue;
        if (line.find("\"dir\":\"rx\"") != std::string::npos) {
            if (awaiting) ++cost.unanswered;
            const std::string text = LogText(line);
            cost.bytes += static_cast<long>(BuildFrame(LogNet(line), text).size());
            cost.blockReads += text.rfind("211;", 0) == 0;
            cost.byteWrites += text.rfind("202;", 0) == 0;
            awaiting = true;
        } else if (line.find("\"dir\":\"tx\"") != std::string::npos) {
            cost.bytes += static_cast<long>(LogText(line).size());
            ++cost.exchanges;
            awaiting = false;
        }
    }
    if (awaiting) ++cost.unanswered;
    return cost;
}

}  // namespace rv::bench
