#include "link/transact.h"

#include <algorithm>
#include <array>
#include <limits>

#include "link/crc.h"
#include "link/status.h"

namespace rv {

namespace {

using Clock = std::chrono::steady_clock;

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

size_t ReplyBytesStillNeeded(std::string_view received, uint32_t netNumber, int replyFields) {
    if (received.empty()) return 0;
    const size_t prefix = 1 + std::to_string(netNumber).size() + 1;  // '!' net ';'
    const size_t separators =
        static_cast<size_t>(std::count(received.begin(), received.end(), ';'));
    const bool atSeparator = received.back() == ';';
    if (replyFields < 0) {
        // Only the address, a checksum digit and the CR are sure to come.
        if (separators == 0) return (prefix > received.size() ? prefix - received.size() : 1) + 2;
        return atSeparator ? 2 : 1;
    }
    const size_t allSeparators = static_cast<size_t>(replyFields) + 1;
    if (separators == 0) {
        // Each field is at least one character and its ';'; then a checksum digit and CR.
        const size_t addressLeft = prefix > received.size() ? prefix - received.size() : 1;
        return addressLeft + 2 * static_cast<size_t>(replyFields) + 2;
    }
    if (separators < allSeparators) {
        const size_t left = allSeparators - separators;
        return 2 * left - (atSeparator ? 0 : 1) + 2;
    }
    // Every separator is in: the checksum over the address and the fields is known.
    size_t lastSeparator = 0;
    for (size_t i = 0, seen = 0; i < received.size(); ++i) {
        if (received[i] == ';' && ++seen == allSeparators) {
            lastSeparator = i;
            break;
        }
    }
    const std::string_view covered = received.substr(1, lastSeparator);
    const size_t digits = std::to_string(Crc16(covered, kFrameCrcStart)).size();
    const size_t had = received.size() - lastSeparator - 1;
    return (had < digits ? digits - had : 0) + 1;
}

namespace {

// Bytes a read may bring beyond those the line's rate allows since the wait began.
constexpr size_t kTrickleSlack = 2;

void trace(Link& link, TraceRecord::Direction direction, std::string_view bytes,
           std::string_view outcome) {
    if (link.trace == nullptr) return;
    link.trace->record({TraceClockMicroseconds(), direction, link.NetNumber, bytes, outcome});
}

void traceSent(Link& link, std::string_view frame, std::string_view outcome) {
    trace(link, TraceRecord::Direction::Sent, frame, outcome);
}

void traceReceived(Link& link, const ReplyCollector& collector, std::string_view outcome) {
    trace(link, TraceRecord::Direction::Received, collector.reply(), outcome);
}

}  // namespace

bool Transact(Link& link, std::string& message, Duration timeout, int replyFields) {
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
        traceSent(link, frame, "write-error");
        link.LinkStatus = status::kPortWrite;
        return false;
    }
    traceSent(link, frame, "sent");
    const auto deadline = Clock::now() + timeout;
    // A byte takes 10 bit times on the wire; no byte can come sooner than that after another.
    const auto byteTime =
        std::chrono::nanoseconds(10'000'000'000LL / std::max<uint32_t>(link.BaudRate, 1));
    const bool pumping = static_cast<bool>(link.pumpMessages);
    // With the window's event descriptors to wake for, the pump has no need to run often.
    const bool wakeForEvents = pumping && !link.eventFds.empty();
    const auto pumpInterval = wakeForEvents ? link.idlePumpInterval : link.pumpInterval;
    auto nextPump = Clock::now() + pumpInterval;
    // After a pump the window's events woke, they are watched again only once pumpInterval
    // has passed, so that a stream of them cannot keep the wait spinning.
    auto watchEventsFrom = Clock::now();
    bool eventsWaiting = false;
    // Sleeping through predicted bytes assumes they trickle in at the line's rate. A read that
    // brings more than that rate allows (an adapter or a busy peer delivering in bursts) ends
    // the assumption for this reply: from then on every arrival wakes the wait.
    bool trickling = true;
    size_t mostExpected = kTrickleSlack;
    ReplyCollector collector;
    std::array<uint8_t, kReadPiece> piece{};
    // Whether a read may find something. The input was emptied before the request went out,
    // so the first look is a wait; after a wait that found the line quiet there is nothing
    // to read either. Each needless read is two system calls.
    bool mayHaveInput = false;
    for (;;) {
        const long n = mayHaveInput ? link.port.readAvailable(piece.data(), piece.size()) : 0;
        if (n < 0) {
            traceReceived(link, collector, "read-error");
            link.LinkStatus = status::kPortRead;
            return false;
        }
        if (static_cast<size_t>(n) > mostExpected) trickling = false;
        if (n > 0 && collector.feed(piece.data(), static_cast<size_t>(n)) ==
                         ReplyCollector::State::Overflow) {
            traceReceived(link, collector, "too-long");
            link.LinkStatus = status::kReplyLength;
            return false;
        }
        if (collector.ended()) break;
        auto now = Clock::now();
        if (pumping && (now >= nextPump || eventsWaiting)) {
            link.pump();
            now = Clock::now();
            nextPump = now + pumpInterval;
            if (eventsWaiting) watchEventsFrom = now + link.pumpInterval;
            eventsWaiting = false;
        }
        if (link.CancelFlag) {
            traceReceived(link, collector, "cancelled");
            return false;
        }
        if (now > deadline) break;
        auto wake = deadline + std::chrono::microseconds(1);
        if (pumping) wake = std::min(wake, nextPump);
        // The bytes the reply must still contain come at the line's rate: sleep through all
        // but the last of them, then wait for that one.
        const size_t needed = ReplyBytesStillNeeded(collector.reply(), link.NetNumber, replyFields);
        const bool sleepThrough = trickling && needed > 1;
        if (sleepThrough) {
            wake = std::min(wake, now + std::chrono::duration_cast<Clock::duration>(
                                            byteTime * static_cast<int64_t>(needed - 1)));
        }
        mostExpected = (sleepThrough ? needed - 1 : 0) + kTrickleSlack;
        const bool watchEvents = wakeForEvents && now >= watchEventsFrom;
        if (wakeForEvents && !watchEvents) wake = std::min(wake, watchEventsFrom);
        static const std::vector<int> kNoEvents;
        const SerialPort::Wake woken = link.port.waitWithEvents(
            wake, !sleepThrough, watchEvents ? link.eventFds : kNoEvents, eventsWaiting);
        mayHaveInput = sleepThrough || woken == SerialPort::Wake::Line;
    }
    if (!collector.ended()) {
        traceReceived(link, collector, collector.started() ? "incomplete" : "no-reply");
        link.LinkStatus = collector.started() ? status::kExchange : status::kNoReply;
        return false;
    }
    traceReceived(link, collector, "ok");
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
