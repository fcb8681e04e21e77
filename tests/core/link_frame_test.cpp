// The request frame and its CRC, checked against worked examples and the independent vector
// table, both as built and as the peer receives it on the line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_name.h"
#include "instrument_map.h"
#include "link/crc.h"
#include "link/link.h"
#include "link/requests.h"
#include "link/transact.h"
#include "pty_peer.h"

namespace rv {
namespace {

using test::FromHex;
using test::Piece;
using test::PtyPeer;
using namespace std::chrono_literals;

TEST(LinkCrc, CheckValueAndWorkedExamples) {
    struct Case {
        std::string text;
        uint16_t start;
        uint16_t crc;
    };
    const std::vector<Case> cases = {
        {"123456789", kFrameCrcStart, 0x4B37},
        {"1;0;", kFrameCrcStart, 50730},
        {"1;211;41219;53;", kFrameCrcStart, 28829},
        {"1;17;", kFrameCrcStart, 52306},
        {"", kFrameCrcStart, 0xFFFF},
        {"", kBlockCrcStart, 0xA55A},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Crc16(c.text, c.start), c.crc) << c.text;
        uint16_t stepwise = c.start;
        for (char ch : c.text) Crc16Update(stepwise, static_cast<uint8_t>(ch));
        EXPECT_EQ(stepwise, c.crc) << c.text;
    }
}

TEST(LinkCrc, SingleByteSteps) {
    // One step from 0 over a single byte is the reflected polynomial table entry.
    struct Case {
        uint16_t start;
        uint8_t byte;
        uint16_t crc;
    };
    const std::vector<Case> cases = {
        {0x0000, 0x01, 0xC0C1}, {0x0000, 0x80, 0xA001}, {0x0000, 0xFF, 0x4040},
        {0xFFFF, 0xFF, 0x00FF}, {0x0000, 0x00, 0x0000},
    };
    for (const Case& c : cases) {
        uint16_t crc = c.start;
        Crc16Update(crc, c.byte);
        EXPECT_EQ(crc, c.crc) << std::hex << c.start << " " << int(c.byte);
    }
}

TEST(LinkFrame, WorkedExamplesByteForByte) {
    EXPECT_EQ(BuildFrame(1, "0;"), std::string("\xFF:1;0;50730\r"));
    EXPECT_EQ(BuildFrame(1, "211;41219;53;"), std::string("\xFF:1;211;41219;53;28829\r"));
}

struct FrameRow {
    uint32_t net;
    std::string command;
    uint16_t crc;
    std::string frame;
};

void PrintTo(const FrameRow& row, std::ostream* out) { *out << row.net << " " << row.command; }

std::vector<FrameRow> FrameRows() {
    std::vector<FrameRow> rows;
    for (const auto& r : test::ReadTsv(std::string(RV740X_VECTORS_DIR) + "/frames.tsv")) {
        rows.push_back({static_cast<uint32_t>(std::stoul(r.at(0))), r.at(1),
                        static_cast<uint16_t>(std::stoul(r.at(2))), FromHex(r.at(3))});
    }
    return rows;
}

class FrameVectors : public ::testing::TestWithParam<FrameRow> {};

TEST_P(FrameVectors, BuiltFrameAndCrcMatch) {
    const FrameRow& row = GetParam();
    const std::string covered = std::to_string(row.net) + ";" + row.command;
    EXPECT_EQ(Crc16(covered, kFrameCrcStart), row.crc);
    EXPECT_EQ(BuildFrame(row.net, row.command), row.frame);
}

TEST_P(FrameVectors, PeerReceivesExactlyTheFrame) {
    const FrameRow& row = GetParam();
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    link.NetNumber = row.net;
    ASSERT_TRUE(link.OpenPort());
    const std::string field = "0;";
    const std::string covered = std::to_string(row.net) + ";" + field;
    peer.answer({{"!" + covered + std::to_string(test::FrameCrc(covered)) + "\r"}});
    std::string message = row.command;
    EXPECT_TRUE(Transact(link, message, 1000ms));
    peer.join();
    ASSERT_EQ(peer.frames().size(), 1u);
    EXPECT_EQ(peer.frames()[0], row.frame);
    EXPECT_TRUE(ParseReply(link, message, 1));
    EXPECT_EQ(link.ReplyFields[0], "0");
}

INSTANTIATE_TEST_SUITE_P(Table, FrameVectors, ::testing::ValuesIn(FrameRows()),
                         rv::test::PrintedCaseName());

TEST(LinkFrame, VectorTableIsPresent) {
    EXPECT_GE(FrameRows().size(), 80u) << RV740X_VECTORS_DIR "/frames.tsv";
}

TEST(LinkFrame, CrcBelowTenThousandIsPrintedShort) {
    // Searches the table of all short CRCs instead of trusting one example.
    int shortOnes = 0;
    for (uint32_t net = 0; net <= 254; ++net) {
        const std::string command = "0;";
        const std::string covered = std::to_string(net) + ";" + command;
        const uint16_t crc = test::FrameCrc(covered);
        const std::string frame = BuildFrame(net, command);
        EXPECT_EQ(frame, "\xFF:" + covered + std::to_string(crc) + "\r");
        if (crc < 10000) {
            ++shortOnes;
            EXPECT_NE(frame.substr(2 + covered.size(), 1), "0") << net;
        }
    }
    EXPECT_GT(shortOnes, 0);
}

TEST(LinkRequests, TextsOfTheRequestSet) {
    struct Case {
        std::string built;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {request::Identify(), "0;"},
        {request::Version(), "198;"},
        {request::ReadMemory(41219), "211;41219;53;"},
        {request::ReadMemory(45041), "211;45041;53;"},
        {request::WriteByte(43930, 52), "202;51736;43930;52;"},
        {request::WriteByte(42854, 254), "202;51736;42854;254;"},
        {request::WriteByte(0, 0), "202;51736;0;0;"},
        {request::EndWrite(), "3;"},
        {request::Measure(18, 32720), "2;18;32720;"},
        {request::Measure(23, 32721), "2;23;32721;"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

}  // namespace
}  // namespace rv
