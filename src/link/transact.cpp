#include "link/transact.h"

#include <algorithm>
#include <array>
#include <limits>

#include "link/crc.h"
#include "link/status.h"

namespace rv {

namespace {

using Clock = std::chrono::steady_clock;

// Longest sleep between two looks at the window's messages while a reply is awaited.
constexpr std::chrono::microseconds kPumpInterval{5000};

bool inNumberSet(char c) { return c == '-' || c == '.' || (c >= '0' && c <= '9'); }
bool inFieldSet(char c) { return c == '$' || inNumberSet(c); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a run of characters of one set starting at pos; false when the text ends first.
template <typename InSet>
bool collectRun(std::string_view text, size_t& pos, std::string_view& run, InSet inSet) {
    const size_t start = pos;
    while (pos < text.size() && inSet(text[pos])) ++pos;
    if (pos >= text.size()) return false;
    run = text.substr(start, pos - start);
    return true;
}

// The run must stop at ';' with more text after it.
bool separatorFollows(std::string_view text, size_t pos) {
    return text[pos] == ';' && pos + 1 < text.size();
}

}  // namespace

std::string BuildFrame(uint32_t netNumber, std::string_view command) {
    std::string covered = std::to_string(netNumber);
    covered += ';';
    covered.append(command);
    std::string frame;
    frame.reserve(covered.size() + 8);
    frame += '\xFF';
    frame += ':';
    frame += covered;
    frame += std::to_string(Crc16(covered, kFrameCrcStart));
    frame += '\r';
    if (frame.size() > 255) frame.resize(255);
    return frame;
}

ReplyCollector::State ReplyCollector::feed(const uint8_t* data, size_t size) {
    size_t i = 0;
    if (!started_) {
        const uint8_t* bang = std::find(data, data + size, static_cast<uint8_t>('!'));
        if (bang == data + size) return State::Collecting;
        started_ = true;
        i = static_cast<size_t>(bang - data);
    }
    for (; i < size && !ended_ && reply_.size() < kReplyLimit; ++i) {
        reply_ += static_cast<char>(data[i]);
        if (data[i] == '\r') ended_ = true;
    }
    if (reply_.size() >= kReplyLimit) return State::Overflow;
    return ended_ ? State::Ended : State::Collecting;
}

bool Transact(Link& link, std::string& message, Duration timeout) {
    link.port.discardInput();
    link.LinkStatus = status::kOk;
    if (message.size() > kMaxCommandLength || link.NetNumber > kMaxNetNumber) {
        link.LinkStatus = status::kRequestLimit;
        return false;
    }
    const std::string frame = BuildFrame(link.NetNumber, message);
    link.pump();
    if (link.CancelFlag) return false;
    if (!link.port.writeAll(reinterpret_cast<const uint8_t*>(frame.data()), frame.size())) {
        link.LinkStatus = status::kPortWrite;
        return false;
    }
    const auto deadline = Clock::now() + timeout;
    ReplyCollector collector;
    std::array<uint8_t, kReadPiece> piece{};
    for (;;) {
        link.pump();
        if (link.CancelFlag) return false;
        const long n = link.port.readAvailable(piece.data(), piece.size());
        if (n < 0) {
            link.LinkStatus = status::kPortRead;
            return false;
        }
        if (n > 0 &&
            collector.feed(piece.data(), static_cast<size_t>(n)) == ReplyCollector::State::Overflow) {
            link.LinkStatus = status::kReplyLength;
            return false;
        }
        if (collector.ended()) break;
        const auto now = Clock::now();
        if (now > deadline) break;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        // Sleeps in the kernel until bytes arrive; wakes now and then to pump the window.
        link.port.waitReadable(std::min(left + std::chrono::microseconds(1), kPumpInterval));
    }
    if (!collector.ended()) {
        link.LinkStatus = collector.started() ? status::kExchange : status::kNoReply;
        return false;
    }
    message = collector.reply();
    return true;
}

bool ParseLinkInteger(std::string_view text, long& value) {
    if (text.empty()) return false;
    if (text[0] == '$') {
        if (text.size() < 2 || text.size() > 9) return false;
        unsigned long v = 0;
        for (size_t i = 1; i < text.size(); ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned long>(d);
        }
        value = static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(v)));
        return true;
    }
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) i = 1;
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<long>(v);
    return true;
}

bool ParseReply(Link& link, std::string_view text, int fieldCount) {
    link.LinkStatus = status::kExchange;
    if (fieldCount < 0 || fieldCount > kMaxReplyFields) return false;
    size_t pos = text.find('!');
    if (pos == std::string_view::npos) return false;
    ++pos;
    if (pos >= text.size()) return false;
    const size_t spanStart = pos;

    std::string_view run;
    long value = 0;
    if (!collectRun(text, pos, run, inNumberSet)) return false;
    if (!ParseLinkInteger(run, value) || !separatorFollows(text, pos)) return false;
    if (value < 0 || static_cast<unsigned long>(value) != link.NetNumber) return false;
    ++pos;

    for (int f = 0; f < fieldCount; ++f) {
        std::string& field = link.ReplyFields[static_cast<size_t>(f)];
        field.clear();
        if (!collectRun(text, pos, run, inFieldSet)) return false;
        field.assign(run.substr(0, 255));
        if (!separatorFollows(text, pos)) return false;
        ++pos;
    }
    const size_t spanEnd = pos;

    if (!collectRun(text, pos, run, inNumberSet)) return false;
    if (!ParseLinkInteger(run, value) || text[pos] != '\r') return false;
    const uint16_t crc = Crc16(text.substr(spanStart, spanEnd - spanStart), kFrameCrcStart);
    if (value != static_cast<long>(crc)) return false;
    link.LinkStatus = status::kOk;
    return true;
}

}  // namespace rv
