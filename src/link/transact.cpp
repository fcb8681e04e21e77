#include "link/transact.h"

#include <algorithm>
#include <array>

#include "link/line_thread.h"
#include "link/status.h"

// The wait for a reply; the frame itself is built, collected and parsed in frame.cpp.

namespace rv {

namespace {

using Clock = std::chrono::steady_clock;

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

// A write or read that failed: the status, and what the line can tell of the cause.
void lineFailed(Link& link, int32_t status) {
    link.LinkStatus = status;
    link.LinkDetail = PortOpenDetail(link.Device, link.port.lastFault());
}

}  // namespace

bool Transact(Link& link, std::string& message, Duration timeout, int replyFields) {
    CheckLineThread();
    link.port.discardInput();
    link.LinkStatus = status::kOk;
    link.LinkDetail.clear();
    if (message.size() > kMaxCommandLength || link.NetNumber > kMaxNetNumber) {
        link.LinkStatus = status::kRequestLimit;
        return false;
    }
    const std::string frame = BuildFrame(link.NetNumber, message);
    if (link.CancelFlag.requested()) return false;
    if (!link.port.writeAll(reinterpret_cast<const uint8_t*>(frame.data()), frame.size())) {
        traceSent(link, frame, "write-error");
        lineFailed(link, status::kPortWrite);
        return false;
    }
    traceSent(link, frame, "sent");
    // A network line's round trip comes on top of the protocol's own time-out.
    const auto deadline = Clock::now() + timeout + link.port.replyDelay();
    // The size the reply most likely has: that of the last reply to the same frame. A shorter
    // one is taken a few byte times late; a longer one as if there were no guess.
    const size_t likelySize = frame == link.lastAnsweredFrame ? link.lastReplySize : 0;
    // A byte takes 10 bit times on the wire; no byte can come sooner than that after another.
    const auto byteTime =
        std::chrono::nanoseconds(10'000'000'000LL / std::max<uint32_t>(link.BaudRate, 1));
    // Sleeping through predicted bytes assumes they trickle in at the line's rate. A read that
    // brings more than that rate allows (an adapter or a busy peer delivering in bursts) ends
    // the assumption for this reply: from then on every arrival wakes the wait.
    bool trickling = true;
    // A network line passes the line's bytes on in pieces: that many more may come at once.
    const size_t slack = kTrickleSlack + link.port.piecedBytes();
    size_t mostExpected = slack;
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
            lineFailed(link, status::kPortRead);
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
        if (link.CancelFlag.requested()) {
            traceReceived(link, collector, "cancelled");
            return false;
        }
        const auto now = Clock::now();
        if (now > deadline) break;
        auto wake = deadline + std::chrono::microseconds(1);
        // The bytes the reply must still contain come at the line's rate: sleep through all
        // but the last of them, then wait for that one. A cancel request wakes either sleep.
        size_t needed = ReplyBytesStillNeeded(collector.reply(), link.NetNumber, replyFields);
        const size_t received = collector.reply().size();
        if (needed > 0 && likelySize > received) needed = std::max(needed, likelySize - received);
        const bool sleepThrough = trickling && needed > 1;
        if (sleepThrough) {
            wake = std::min(wake, now + std::chrono::duration_cast<Clock::duration>(
                                            byteTime * static_cast<int64_t>(needed - 1)));
        }
        mostExpected = (sleepThrough ? needed - 1 : 0) + slack;
        const SerialPort::Wake woken = link.port.wait(wake, !sleepThrough, link.CancelFlag);
        mayHaveInput = sleepThrough || woken == SerialPort::Wake::Line;
    }
    if (!collector.ended()) {
        traceReceived(link, collector, collector.started() ? "incomplete" : "no-reply");
        link.LinkStatus = collector.started() ? status::kExchange : status::kNoReply;
        return false;
    }
    traceReceived(link, collector, "ok");
    link.lastAnsweredFrame = frame;
    link.lastReplySize = collector.reply().size();
    message = collector.reply();
    return true;
}

}  // namespace rv
