#pragma once

// The configurator's side of a conversation with rv740x-sim, through the core link layer.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "instrument_map.h"
#include "link/link.h"
#include "link/transact.h"

namespace rv::test {

// Short enough that the silent cases of a test run stay fast; the simulator answers within
// a few milliseconds when it is not pacing.
inline constexpr Duration kShortTimeout = std::chrono::milliseconds(100);

struct Answer {
    int32_t status = -1;  // LinkStatus after the transaction, or after ParseReply
    std::string reply;    // from '!' through CR when one arrived
    std::vector<std::string> fields;
};

class SimClient {
  public:
    SimClient(const std::string& device, uint32_t baud, uint32_t net) {
        link.Device = device;
        link.BaudRate = baud;
        link.NetNumber = net;
        opened = link.OpenPort();
    }

    // Sends `command` and parses the reply into `fieldCount` fields.
    Answer ask(const std::string& command, int fieldCount, Duration timeout = kShortTimeout) {
        Answer answer;
        std::string message = command;
        if (!Transact(link, message, timeout)) {
            answer.status = link.LinkStatus;
            return answer;
        }
        answer.reply = message;
        ParseReply(link, message, fieldCount);
        answer.status = link.LinkStatus;
        if (answer.status == 0)
            answer.fields.assign(link.ReplyFields.begin(), link.ReplyFields.begin() + fieldCount);
        return answer;
    }

    // The 53 byte values from `address`, empty unless every one is a number 0..255.
    std::vector<uint8_t> readBytes(unsigned address) {
        const Answer a = ask("211;" + std::to_string(address) + ";53;", 53);
        std::vector<uint8_t> bytes;
        if (a.status != 0) return bytes;
        for (const std::string& f : a.fields) {
            long v = -1;
            if (!ParseLinkInteger(f, v) || v < 0 || v > 255) return {};
            bytes.push_back(static_cast<uint8_t>(v));
        }
        return bytes;
    }

    Answer writeByte(unsigned address, unsigned value) {
        return ask("202;51736;" + std::to_string(address) + ";" + std::to_string(value) + ";", 1);
    }

    Link link;
    bool opened = false;
};

// How many lines of the simulator's log contain `needle`, e.g. "\"dir\":\"tx\"".
inline int LogLinesWith(const std::string& logPath, const std::string& needle) {
    std::ifstream in(logPath);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(needle) != std::string::npos) ++count;
    return count;
}

// LogLinesWith once at least `count` lines are there, or when `atMost` has passed. The
// simulator logs a reply once it has gone out, which may be a moment after the client has
// read it.
inline int AwaitLogLines(const std::string& logPath, const std::string& needle, int count,
                         std::chrono::milliseconds atMost = std::chrono::seconds(2)) {
    const auto end = std::chrono::steady_clock::now() + atMost;
    int seen = LogLinesWith(logPath, needle);
    while (seen < count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        seen = LogLinesWith(logPath, needle);
    }
    return seen;
}

// Writes a block's identifier, the `data` bytes (length - 1 of them) and its block CRC
// byte by byte, the primary copy and, unless `primaryOnly`, the backup copy, as the
// configurator does. False at the first byte whose echo is not the value written.
inline bool WriteBlockImage(SimClient& client, int block, const std::vector<uint8_t>& data,
                            bool primaryOnly = false) {
    const BlockRow& info = kBlocks[block];
    std::vector<uint8_t> image(info.length + 2u, 0);
    image[0] = static_cast<uint8_t>(info.id);
    for (size_t i = 0; i < data.size() && i + 1 < info.length; ++i) image[i + 1] = data[i];
    const uint16_t crc = BlockCrc(image.data(), info.length);
    image[info.length] = static_cast<uint8_t>(crc & 0xFF);
    image[info.length + 1u] = static_cast<uint8_t>(crc >> 8);
    for (unsigned base : {unsigned{info.primary}, unsigned{info.backup}}) {
        for (size_t i = 0; i < image.size(); ++i) {
            const Answer echo = client.writeByte(base + static_cast<unsigned>(i), image[i]);
            if (echo.status != 0 || echo.fields[0] != std::to_string(image[i])) return false;
        }
        if (primaryOnly) break;
    }
    return true;
}

// The instrument's 4-byte real read straight from its definition: exponent byte biased by
// 129 (0 is zero), sign on top of the 23-bit fraction, hidden leading one.
inline double DeviceFloatValue(const uint8_t* b) {
    if (b[0] == 0) return 0.0;
    const double fraction = ((b[1] & 0x7F) * 65536.0 + b[2] * 256.0 + b[3]) / 8388608.0;
    const double v = std::ldexp(1.0 + fraction, b[0] - 129);
    return (b[1] & 0x80) ? -v : v;
}

inline int16_t Signed16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace rv::test
