// Transactions over a real pseudo-terminal; the test plays the instrument on the master side.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "cancel_later.h"
#include "instrument_map.h"
#include "link/exchange.h"
#include "link/line_thread.h"
#include "link/link.h"
#include "link/requests.h"
#include "link/session.h"
#include "link/status.h"
#include "link/transact.h"
#include "pty_peer.h"

namespace rv {
namespace {

using test::FromHex;
using test::MakeReply;
using test::Piece;
using test::PtyPeer;
using test::TestClock;
using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr Duration kTimeout = 250ms;
const std::string kIdentifyFrame = "\xFF:1;0;50730\r";
const std::string kReply17 = "!1;17;52306\r";

// A reply from '!' through CR of exactly `length` characters, one field of digits.
std::string ReplyOfLength(size_t length) {
    for (char digit = '1'; digit <= '9'; ++digit) {
        for (size_t n = 0; n < length; ++n) {
            const std::string reply = MakeReply(1, {std::string(n, digit)});
            if (reply.size() == length) return reply;
            if (reply.size() > length) break;
        }
    }
    return {};
}

std::chrono::milliseconds Since(TestClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TestClock::now() - start);
}

class TransactTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link.Device = peer.path();
        ASSERT_TRUE(link.OpenPort());
    }
    void TearDown() override {
        peer.join();
        link.ClosePort();
    }

    PtyPeer peer;
    Link link;
};

TEST_F(TransactTest, WorkedExample) {
    peer.answer({{kReply17}});
    std::string message = request::Identify();
    link.LinkStatus = 9;
    ASSERT_TRUE(Transact(link, message, kTimeout));
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_EQ(message, kReply17);
    peer.join();
    ASSERT_EQ(peer.frames().size(), 1u);
    EXPECT_EQ(peer.frames()[0], kIdentifyFrame);
    ASSERT_TRUE(ParseReply(link, message, request::kIdentifyFields));
    EXPECT_EQ(link.ReplyFields[0], "17");
}

TEST_F(TransactTest, ReplyVectorsTravelUnchanged) {
    const auto rows = test::ReadTsv(std::string(RV740X_VECTORS_DIR) + "/replies.tsv");
    EXPECT_FALSE(rows.empty());
    for (const auto& row : rows) {
        const std::string reply = FromHex(row.at(2));
        link.NetNumber = static_cast<uint32_t>(std::stoul(row.at(0)));
        peer.answer({{reply}});
        std::string message = "0;";
        EXPECT_TRUE(Transact(link, message, kTimeout)) << row.at(1);
        EXPECT_EQ(message, reply);
        peer.join();
    }
}

struct Script {
    const char* name;
    std::vector<Piece> pieces;
    bool ok;
    int32_t status;
    std::string message;  // expected on success
};

void PrintTo(const Script& script, std::ostream* out) { *out << script.name; }

class Scripts : public TransactTest, public ::testing::WithParamInterface<Script> {};

TEST_P(Scripts, Outcome) {
    const Script& s = GetParam();
    peer.answer(s.pieces);
    std::string message = "0;";
    const auto start = TestClock::now();
    EXPECT_EQ(Transact(link, message, kTimeout), s.ok);
    const auto elapsed = Since(start);
    EXPECT_EQ(link.LinkStatus, s.status);
    EXPECT_EQ(message, s.ok ? s.message : "0;");
    if (s.status == status::kNoReply || s.status == status::kExchange) {
        EXPECT_GE(elapsed, kTimeout);
    }
}

const std::string k249 = ReplyOfLength(249);
const std::string k250 = ReplyOfLength(250);

std::vector<Piece> Bytewise(const std::string& text, std::chrono::milliseconds gap) {
    std::vector<Piece> pieces;
    for (char c : text) pieces.push_back({std::string(1, c), gap});
    return pieces;
}

std::vector<Piece> Dribble(const std::string& start, int count, std::chrono::milliseconds gap) {
    std::vector<Piece> pieces{{start}};
    for (int i = 0; i < count; ++i) pieces.push_back({"7", gap});
    return pieces;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Scripts,
    ::testing::Values(
        Script{"one piece", {{kReply17}}, true, 0, kReply17},
        Script{"split at the CRC", {{"!1;17;52"}, {"306\r", 40ms}}, true, 0, kReply17},
        Script{"byte by byte", Bytewise(kReply17, 3ms), true, 0, kReply17},
        Script{
            "noise before '!' in the same piece", {{"ab\0\x7f!1;17;52306\r"s}}, true, 0, kReply17},
        Script{"noise in earlier pieces",
               {{"zz"}, {"\r\n\0"s, 10ms}, {kReply17, 10ms}},
               true,
               0,
               kReply17},
        Script{
            "echo of the request first", {{kIdentifyFrame}, {kReply17, 10ms}}, true, 0, kReply17},
        Script{"bytes after CR in the same piece", {{kReply17 + "!1;18;xx\r"}}, true, 0, kReply17},
        Script{"249 characters", {{k249}}, true, 0, k249},
        Script{"249 characters after noise", {{"noise;" + k249}}, true, 0, k249},
        Script{"249 characters in pieces",
               {{k249.substr(0, 100)}, {k249.substr(100, 100), 5ms}, {k249.substr(200), 5ms}},
               true,
               0,
               k249},
        Script{"250 characters, CR last", {{k250}}, false, status::kReplyLength, ""},
        Script{"250 characters in pieces",
               {{k250.substr(0, 249)}, {k250.substr(249), 20ms}},
               false,
               status::kReplyLength,
               ""},
        Script{"250 characters without CR",
               {{"!" + std::string(249, '1')}},
               false,
               status::kReplyLength,
               ""},
        Script{"300 characters at once",
               {{"!" + std::string(299, '1')}},
               false,
               status::kReplyLength,
               ""},
        Script{"silence", {}, false, status::kNoReply, ""},
        Script{"CR without '!'", {{"1;17;52306\r"}}, false, status::kNoReply, ""},
        Script{"'!' without CR", {{"!1;17;52306"}}, false, status::kExchange, ""},
        Script{"dribble without CR", Dribble("!1;", 40, 15ms), false, status::kExchange, ""},
        Script{"CR after the time-out",
               {{"!1;17;"}, {"52306\r", 350ms}},
               false,
               status::kExchange,
               ""},
        Script{"reply after the time-out", {{kReply17, 350ms}}, false, status::kNoReply, ""}),
    [](const ::testing::TestParamInfo<Script>& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST_F(TransactTest, ReplyOfExactLength) {
    ASSERT_EQ(k249.size(), 249u);
    ASSERT_EQ(k250.size(), 250u);
    ASSERT_EQ(k250.back(), '\r');
    // The accepted 249-character reply parses; the field is what was sent.
    EXPECT_TRUE(ParseReply(link, k249, 1));
    EXPECT_EQ(k249.find(link.ReplyFields[0]), 3u);
}

TEST_F(TransactTest, FieldOf255CharactersCannotArrive) {
    peer.answer({{MakeReply(1, {std::string(255, '5')})}});
    std::string message = "0;";
    EXPECT_FALSE(Transact(link, message, kTimeout));
    EXPECT_EQ(link.LinkStatus, status::kReplyLength);
}

TEST_F(TransactTest, EmbeddedNulBytes) {
    struct Case {
        std::string reply;
        bool parses;
    };
    const std::vector<Case> cases = {
        {"\0\0"s + kReply17, true},
        {"!1;1\0"
         "7;52306\r"s,
         false},
        {"!\0"
         "1;17;52306\r"s,
         false},
    };
    for (const Case& c : cases) {
        peer.answer({{c.reply}});
        std::string message = "0;";
        ASSERT_TRUE(Transact(link, message, kTimeout));
        EXPECT_EQ(ParseReply(link, message, 1), c.parses);
        EXPECT_EQ(link.LinkStatus, c.parses ? 0 : status::kExchange);
        peer.join();
    }
}

TEST_F(TransactTest, CommandAndAddressLimits) {
    struct Case {
        size_t length;
        uint32_t net;
        bool sent;
    };
    const std::vector<Case> cases = {
        {240, 1, true},   {241, 1, false},   {2, 254, true},          {2, 255, false},
        {240, 254, true}, {241, 254, false}, {2, 0xFFFFFFFFu, false}, {0, 0, true},
    };
    for (const Case& c : cases) {
        std::string command(c.length, '9');
        if (!command.empty()) command.back() = ';';
        link.NetNumber = c.net;
        if (c.sent) peer.answer({{MakeReply(c.net, {"0"})}});
        link.LinkStatus = 9;
        std::string message = command;
        EXPECT_EQ(Transact(link, message, kTimeout), c.sent) << c.length << " " << c.net;
        if (c.sent) {
            peer.join();
            EXPECT_EQ(link.LinkStatus, 0);
            ASSERT_EQ(peer.frames().size(), 1u);
            const std::string covered = std::to_string(c.net) + ";" + command;
            EXPECT_EQ(peer.frames().back(),
                      "\xFF:" + covered + std::to_string(test::FrameCrc(covered)) + "\r");
        } else {
            EXPECT_EQ(link.LinkStatus, status::kRequestLimit);
            EXPECT_EQ(message, command);
            EXPECT_EQ(peer.drain(60ms), "");
        }
    }
}

TEST_F(TransactTest, LimitComesBeforeCancel) {
    link.CancelFlag.request();
    std::string message(241, '1');
    EXPECT_FALSE(Transact(link, message, kTimeout));
    EXPECT_EQ(link.LinkStatus, status::kRequestLimit);
}

TEST_F(TransactTest, CancelBeforeTheWriteSendsNothing) {
    link.CancelFlag.request();
    link.LinkStatus = 9;
    std::string message = "0;";
    const auto start = TestClock::now();
    EXPECT_FALSE(Transact(link, message, kTimeout));
    // No wait for a reply to a request never sent.
    EXPECT_LT(Since(start), kTimeout);
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_EQ(message, "0;");
    EXPECT_EQ(peer.drain(60ms), "");
}

// Bounds on elapsed time and processor time, which a loaded machine can miss: label `timing`.
class TransactTiming : public TransactTest {};

// The time-out bounds the whole reply, however the bytes trickle in.
TEST_F(TransactTiming, TheTimeOutBoundsTheWholeReply) {
    const std::vector<std::pair<const char*, std::vector<Piece>>> cases = {
        {"silence", {}}, {"dribble without CR", Dribble("!1;", 40, 15ms)}};
    for (const auto& [name, pieces] : cases) {
        peer.answer(pieces);
        std::string message = "0;";
        const auto start = TestClock::now();
        EXPECT_FALSE(Transact(link, message, kTimeout)) << name;
        EXPECT_LT(Since(start), kTimeout + 150ms) << name;
        peer.join();
    }
}

// The request comes from another thread, as the window's cancel button makes it, and wakes
// the wait at once: a silent line or a reply that has stopped halfway, and a wait that sleeps
// through the bytes a started reply must still bring, alike.
TEST_F(TransactTiming, CancelFromAnotherThreadWakesTheWaitAtOnce) {
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        int replyFields;
        uint32_t baud;  // sets the wire time the wait sleeps through
    };
    const std::vector<Case> cases = {{"silent peer", {}, -1, 9600},
                                     {"reply started", {{"!1;17;"}}, -1, 9600},
                                     {"sleeping through the reply's bytes", {{"!1;"}}, 40, 1200}};
    const uint32_t baud = link.BaudRate;
    for (const Case& c : cases) {
        link.CancelFlag.clear();
        link.BaudRate = c.baud;
        peer.answer(c.pieces);
        test::CancelLater cancel(link.CancelFlag);
        cancel.arm(80ms);
        const auto start = TestClock::now();
        std::string message = "0;";
        const Duration longWait = 2s;
        EXPECT_FALSE(Transact(link, message, longWait, c.replyFields)) << c.name;
        const auto ended = TestClock::now();
        EXPECT_GE(ended - start, 80ms) << c.name;
        EXPECT_LT(ended - cancel.pressedAt(), 50ms) << c.name;
        EXPECT_EQ(link.LinkStatus, 0) << c.name;
        EXPECT_EQ(message, "0;") << c.name;
        peer.join();
        ASSERT_EQ(peer.frames().size(), 1u);
        EXPECT_EQ(peer.frames()[0], kIdentifyFrame);
    }
    link.BaudRate = baud;
}

// The window's thread is named to the core; a transaction there is a fault that must show.
TEST(LineThread, ATransactionOnTheForbiddenThreadEndsTheProgram) {
    if (!LineThreadChecked()) GTEST_SKIP() << "a release build has no thread check";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto transact = [] {
        Link link;
        std::string message = "0;";
        return Transact(link, message, 10ms);
    };
    EXPECT_DEATH(
        {
            ForbidLineWaitsOn(std::this_thread::get_id());
            transact();
        },
        "window's thread");
    // Any other thread may: here a closed port fails the write.
    std::thread other([] { ForbidLineWaitsOn(std::this_thread::get_id()); });
    other.join();
    EXPECT_FALSE(transact());
    ForbidLineWaitsOn({});
}

TEST_F(TransactTiming, WaitsWithoutSpinning) {
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    std::string message = "0;";
    EXPECT_FALSE(Transact(link, message, 300ms));
    EXPECT_EQ(link.LinkStatus, status::kNoReply);
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    const auto cpu = [](const rusage& u) {
        return std::chrono::seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               std::chrono::microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    // A sleeping wait costs the thread next to nothing of the 300 ms it lasts.
    EXPECT_LT(cpu(after) - cpu(before), 10ms);
}

TEST_F(TransactTest, BytesAfterTheReplyAreDroppedByTheNextTransaction) {
    const std::string reply0 = MakeReply(1, {"0"});
    peer.play([&](PtyPeer& p) {
        p.readFrame();
        p.write(kReply17);
        std::this_thread::sleep_for(30ms);
        p.write(MakeReply(1, {"18"}));
        p.readFrame();
        std::this_thread::sleep_for(20ms);
        p.write(reply0);
    });
    std::string message = "0;";
    ASSERT_TRUE(Transact(link, message, kTimeout));
    EXPECT_EQ(message, kReply17);
    std::this_thread::sleep_for(100ms);
    message = "3;";
    ASSERT_TRUE(Transact(link, message, kTimeout));
    EXPECT_EQ(message, reply0);
}

TEST_F(TransactTest, DataBeforeTheTransactionIsNotItsReply) {
    struct Case {
        const char* name;
        std::string early;
        std::vector<Piece> answer;
        bool ok;
    };
    const std::string reply0 = MakeReply(1, {"0"});
    const std::vector<Case> cases = {
        {"complete stale reply, then silence", kReply17, {}, false},
        {"stale start of a reply, then the reply", "!1;17;", {{reply0, 10ms}}, true},
    };
    for (const Case& c : cases) {
        peer.write(c.early);
        std::this_thread::sleep_for(30ms);
        peer.answer(c.answer);
        std::string message = "3;";
        EXPECT_EQ(Transact(link, message, kTimeout), c.ok) << c.name;
        EXPECT_EQ(link.LinkStatus, c.ok ? 0 : status::kNoReply) << c.name;
        if (c.ok) {
            EXPECT_EQ(message, reply0) << c.name;
        }
        peer.join();
    }
}

TEST(TransactFailures, WriteFails) {
    struct Case {
        const char* name;
        bool open;
        bool closeMasterFirst;
    };
    const std::vector<Case> cases = {{"port not open", false, false},
                                     {"peer gone before the request", true, true}};
    for (const Case& c : cases) {
        PtyPeer peer;
        Link link;
        link.Device = peer.path();
        if (c.open) {
            ASSERT_TRUE(link.OpenPort());
        }
        if (c.closeMasterFirst) peer.closeMaster();
        std::string message = "0;";
        EXPECT_FALSE(Transact(link, message, kTimeout)) << c.name;
        EXPECT_EQ(link.LinkStatus, status::kPortWrite) << c.name;
        EXPECT_EQ(message, "0;");
    }
}

TEST(TransactFailures, ReadFailsWhenThePeerHangsUp) {
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    peer.play([](PtyPeer& p) {
        p.readFrame();
        std::this_thread::sleep_for(30ms);
        p.closeMaster();
    });
    std::string message = "0;";
    const auto start = TestClock::now();
    EXPECT_FALSE(Transact(link, message, 2s));
    EXPECT_EQ(link.LinkStatus, status::kPortRead);
    // Not the reply's time-out: the hang-up ends the wait.
    EXPECT_LT(Since(start), 2s);
    peer.join();
}

// Operations built from one exchange.
TEST_F(TransactTest, ExchangeSteps) {
    struct Case {
        const char* name;
        Step (*run)(Link&);
        std::vector<Piece> answer;
        Step step;
        int32_t status;
    };
    const std::vector<Case> cases = {
        {"identified", Identify, {{MakeReply(1, {"17"})}}, Step::Ok, 0},
        {"another family", Identify, {{MakeReply(1, {"18"})}}, Step::Failed, status::kNotRv740x},
        {"family 017", Identify, {{MakeReply(1, {"017"})}}, Step::Failed, status::kNotRv740x},
        {"identify, no answer", Identify, {}, Step::Failed, status::kNoReply},
        {"identify, two fields",
         Identify,
         {{MakeReply(1, {"17", "0"})}},
         Step::Failed,
         status::kExchange},
        {"write accepted", EndWriteSequence, {{MakeReply(1, {"0"})}}, Step::Ok, 0},
        {"write refused",
         EndWriteSequence,
         {{MakeReply(1, {"1"})}},
         Step::Failed,
         status::kExchange},
        {"write, no answer", EndWriteSequence, {}, Step::Failed, status::kNoReply},
    };
    link.ReplyTimeout = kTimeout;
    for (const Case& c : cases) {
        peer.answer(c.answer);
        EXPECT_EQ(c.run(link), c.step) << c.name;
        EXPECT_EQ(link.LinkStatus, c.status) << c.name;
        peer.join();
    }
    // A cancel request wins over any outcome.
    link.CancelFlag.request();
    EXPECT_EQ(Identify(link), Step::Cancelled);
    EXPECT_EQ(BlockStep(link, 0), Step::Cancelled);
    EXPECT_EQ(BlockStep(link, 30), Step::Cancelled);
    link.CancelFlag.clear();
    EXPECT_EQ(BlockStep(link, 0), Step::Ok);
    EXPECT_EQ(BlockStep(link, 30), Step::Failed);
}

// Every operation starts with a session: the cancel request of the last operation is
// forgotten, the port opened and, when asked, the instrument identified; the port closes
// when the session ends.
TEST(Session, OpensIdentifiesAndCloses) {
    struct Case {
        const char* name;
        bool realPort;
        Session::Check check;
        std::vector<Piece> answer;
        Step step;
        int32_t status;
        size_t requests;
    };
    const std::vector<Case> cases = {
        {"port only", true, Session::Check::PortOnly, {}, Step::Ok, 0, 0},
        {"identified", true, Session::Check::Identify, {{kReply17}}, Step::Ok, 0, 1},
        {"another family",
         true,
         Session::Check::Identify,
         {{MakeReply(1, {"18"})}},
         Step::Failed,
         status::kNotRv740x,
         1},
        {"no answer", true, Session::Check::Identify, {}, Step::Failed, status::kNoReply, 1},
        {"not a serial device",
         false,
         Session::Check::Identify,
         {},
         Step::Failed,
         status::kNoSuchPort,
         0},
    };
    for (const Case& c : cases) {
        PtyPeer peer;
        Link link;
        link.Device = c.realPort ? peer.path() : "/dev/null";
        link.ReplyTimeout = kTimeout;
        link.LinkStatus = 0;
        if (c.requests > 0) peer.answer(c.answer);
        {
            const Session session(link, c.check);
            EXPECT_EQ(session.step(), c.step) << c.name;
            EXPECT_EQ(link.LinkStatus, c.status) << c.name;
            EXPECT_EQ(link.port.isOpen(), c.realPort) << c.name;
        }
        EXPECT_FALSE(link.port.isOpen()) << c.name;
        peer.join();
        EXPECT_EQ(peer.frames().size(), c.requests) << c.name;
        if (c.requests > 0) {
            EXPECT_EQ(peer.frames()[0], kIdentifyFrame) << c.name;
        }
    }
}

// A cancel asked for before the operation opened its session is not lost: the session's first
// step stops, and nothing goes out.
TEST(Session, ACancelFromBeforeItOpenedStands) {
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    link.ReplyTimeout = kTimeout;
    link.CancelFlag.request();
    {
        const Session session(link, Session::Check::Identify);
        EXPECT_EQ(session.step(), Step::Cancelled);
        EXPECT_EQ(session.outcome(), Outcome::Cancelled);
    }
    EXPECT_TRUE(link.CancelFlag.requested());
    EXPECT_EQ(peer.drain(100ms), "");
}

}  // namespace
}  // namespace rv
