// How the wait for a reply predicts the bytes still to come, and what the trace records.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/crc.h"
#include "link/link.h"
#include "link/status.h"
#include "link/trace.h"
#include "link/transact.h"
#include "pty_peer.h"

namespace rv {
namespace {

using test::Piece;
using test::PtyPeer;
using test::TestClock;
using namespace std::chrono_literals;
using namespace std::string_literals;

// The shortest reply is '!' net ';' then per field one character and ';', then at least one
// checksum digit and CR. "!1;17;52306\r" is the identification answer of number 1.
TEST(ReplyBytesStillNeeded, CountsTheBytesAReplyMustStillCarry) {
    struct Case {
        std::string received;
        uint32_t net;
        int fields;
        size_t needed;
    };
    const std::vector<Case> cases = {
        {"", 1, 1, 0},              // nothing yet: the first byte is awaited
        {"!", 1, 1, 6},             // "1;" "x;" "c" CR
        {"!1", 1, 1, 5},            // ";" "x;" "c" CR
        {"!1;", 1, 1, 4},           // "x;" "c" CR
        {"!1;1", 1, 1, 3},          // ";" "c" CR
        {"!1;17;", 1, 1, 6},        // checksum 52306 is known: five digits and CR
        {"!1;17;523", 1, 1, 3},     // "06" CR
        {"!1;17;52306", 1, 1, 1},   // CR
        {"!", 200, 53, 112},        // "200;" and 53 fields of two, then two
        {"!200;7;", 200, 53, 106},  // 52 fields of two, then two
        {"!", 1, -1, 4},            // fields unknown: "1;" "c" CR
        {"!1;", 1, -1, 2},          // "c" CR
        {"!1;17", 1, -1, 1},        // the CR at least
        {"!1;", 1, 0, 6},           // no fields: checksum of "1;" is 5 digits, and CR
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplyBytesStillNeeded(c.received, c.net, c.fields), c.needed)
            << '"' << c.received << "\" net " << c.net << " fields " << c.fields;
    }
}

TEST(Trace, WritesBytesAsPrintableText) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"\xFF:1;0;50730\r", "\\xFF:1;0;50730\\r"},
        {"!1;17;52306\r", "!1;17;52306\\r"},
        {"a\"b\\c", "a\\\"b\\\\c"},
        {"\n\t\x01\x7F\x80", "\\n\\t\\x01\\x7F\\x80"},
        {""s, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeBytes(c.bytes), c.text);

    const TraceRecord record{1234567, TraceRecord::Direction::Received, 17, "!17;0;1\r", "ok"};
    EXPECT_EQ(FormatTraceLine(record), "1234567 rx 17 \"!17;0;1\\r\" ok\n");
}

struct Collected {
    TraceRecord::Direction direction;
    uint32_t net;
    std::string bytes;
    std::string outcome;
    int64_t microseconds;
};

class CollectingSink : public TraceSink {
  public:
    void record(const TraceRecord& r) override {
        records.push_back({r.direction, r.netNumber, std::string(r.bytes), std::string(r.outcome),
                           r.microseconds});
    }
    std::vector<Collected> records;
};

TEST(Trace, RecordsEachFrameSentAndEachReplyAwaitedWithItsOutcome) {
    const std::string frame = "\xFF:1;0;50730\r";
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        std::string received;
        std::string outcome;
    };
    const std::vector<Case> cases = {
        {"whole reply", {{"!1;17;52306\r"}}, "!1;17;52306\r", "ok"},
        {"silent", {}, "", "no-reply"},
        {"no CR", {{"junk!1;17;"}}, "!1;17;", "incomplete"},
    };
    for (const Case& c : cases) {
        PtyPeer peer;
        Link link;
        link.Device = peer.path();
        ASSERT_TRUE(link.OpenPort());
        CollectingSink sink;
        link.trace = &sink;
        peer.answer(c.pieces);
        const int64_t before = TraceClockMicroseconds();
        std::string message = "0;";
        Transact(link, message, 150ms, 1);
        const int64_t after = TraceClockMicroseconds();
        peer.join();
        link.ClosePort();

        ASSERT_EQ(sink.records.size(), 2u) << c.name;
        EXPECT_EQ(sink.records[0].direction, TraceRecord::Direction::Sent) << c.name;
        EXPECT_EQ(sink.records[0].bytes, frame) << c.name;
        EXPECT_EQ(sink.records[0].outcome, "sent") << c.name;
        EXPECT_EQ(sink.records[1].direction, TraceRecord::Direction::Received) << c.name;
        EXPECT_EQ(sink.records[1].bytes, c.received) << c.name;
        EXPECT_EQ(sink.records[1].outcome, c.outcome) << c.name;
        for (const Collected& r : sink.records) {
            EXPECT_EQ(r.net, 1u) << c.name;
            EXPECT_GE(r.microseconds, before) << c.name;
            EXPECT_LE(r.microseconds, after) << c.name;
        }
        EXPECT_LE(sink.records[0].microseconds, sink.records[1].microseconds) << c.name;
    }
}

// A reply delivered byte by byte at about the line's rate (35 ms a byte against 33.3 ms at
// 300 baud) still ends the wait within a byte's time of its CR, while the wait sleeps
// through the bytes it predicts.
TEST(PredictedWaitTiming, ReturnsWithinAByteOfTheCrOfAPacedReply) {
    const std::string reply = "!1;17;52306\r";
    std::vector<Piece> pieces;
    for (char ch : reply) pieces.push_back({std::string(1, ch), 35ms});
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    link.BaudRate = 300;
    for (int fields : {-1, 1}) {
        peer.answer(pieces);
        std::string message = "0;";
        EXPECT_TRUE(Transact(link, message, 2s, fields)) << fields;
        const auto returned = TestClock::now();
        peer.join();
        EXPECT_EQ(message, reply) << fields;
        EXPECT_LT(returned - peer.lastWrite(), 30ms) << fields;
    }
    link.ClosePort();
}

// A reply that comes in bursts (an adapter that buffers) is not slept through: the first burst
// shows the bytes do not trickle at the line's rate, so the rest wakes the wait at once.
TEST(PredictedWaitTiming, ABurstStopsTheSleepingThroughBytes) {
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    link.BaudRate = 300;  // five predicted bytes would be 167 ms
    peer.answer({{"!1;17;"}, {"52306\r", 20ms}});
    std::string message = "0;";
    EXPECT_TRUE(Transact(link, message, 2s, 1));
    const auto returned = TestClock::now();
    peer.join();
    EXPECT_EQ(message, "!1;17;52306\r");
    EXPECT_LT(returned - peer.lastWrite(), 60ms);
    link.ClosePort();
}

// A request sent again is expected to get a reply of the last one's size, and the wait
// sleeps through it. A shorter reply this time (an error answer after a reading) is still
// taken whole, late by no more than the bytes it lacks.
TEST(PredictedWaitTiming, AShorterReplyToARepeatedRequestIsTakenWhole) {
    const std::string fields = "17;4;";
    const std::string longer =
        "!1;" + fields + std::to_string(Crc16("1;" + fields, kFrameCrcStart)) + "\r";
    const std::string shorter = "!1;17;52306\r";
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    link.BaudRate = 300;
    for (const std::string& reply : {longer, shorter}) {
        std::vector<Piece> pieces;
        for (char ch : reply) pieces.push_back({std::string(1, ch), 35ms});
        peer.answer(pieces);
        std::string message = "0;";
        EXPECT_TRUE(Transact(link, message, 2s, 1));
        const auto returned = TestClock::now();
        peer.join();
        EXPECT_EQ(message, reply);
        const auto lacking = static_cast<int>(longer.size() - reply.size());
        EXPECT_LT(returned - peer.lastWrite(), 30ms + lacking * 34ms) << reply;
    }
    link.ClosePort();
}

}  // namespace
}  // namespace rv
