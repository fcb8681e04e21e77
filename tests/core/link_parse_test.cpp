// Checking and splitting of replies, and the integers of the link.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_name.h"
#include "instrument_map.h"
#include "link/link.h"
#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"
#include "pty_peer.h"

namespace rv {
namespace {

using test::FromHex;
using test::MakeReply;
using namespace std::string_literals;

constexpr const char* kUntouched = "untouched";

// '!' + covered span + its CRC + CR, for replies whose span breaks a rule other than the CRC.
std::string Framed(const std::string& covered) {
    return "!" + covered + std::to_string(test::FrameCrc(covered)) + "\r";
}

void FillFields(Link& link) {
    for (auto& field : link.ReplyFields) field = kUntouched;
}

std::vector<std::string> SplitFields(const std::string& joined) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = joined.find('|', start);
        fields.push_back(joined.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return fields;
}

struct ReplyRow {
    uint32_t net;
    std::vector<std::string> fields;
    std::string reply;
};

void PrintTo(const ReplyRow& row, std::ostream* out) {
    *out << row.net << " " << row.fields.size() << " fields";
}

std::vector<ReplyRow> ReplyRows() {
    std::vector<ReplyRow> rows;
    for (const auto& r : test::ReadTsv(std::string(RV740X_VECTORS_DIR) + "/replies.tsv")) {
        rows.push_back(
            {static_cast<uint32_t>(std::stoul(r.at(0))), SplitFields(r.at(1)), FromHex(r.at(2))});
    }
    return rows;
}

class ReplyVectors : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(ReplyVectors, ParsesIntoItsFields) {
    const ReplyRow& row = GetParam();
    Link link;
    link.NetNumber = row.net;
    FillFields(link);
    link.LinkStatus = 9;
    const int count = static_cast<int>(row.fields.size());
    EXPECT_EQ(MakeReply(row.net, row.fields), row.reply);
    // A field may hold only '$', '-', '.' and digits; a row with hexadecimal letters in a
    // field is a well-formed frame that the parser must still refuse.
    bool fieldCharacters = true;
    for (const std::string& field : row.fields) {
        fieldCharacters =
            fieldCharacters && field.find_first_not_of("$-.0123456789") == std::string::npos;
    }
    if (!fieldCharacters) {
        EXPECT_FALSE(ParseReply(link, row.reply, count));
        EXPECT_EQ(link.LinkStatus, status::kExchange);
        return;
    }
    ASSERT_TRUE(ParseReply(link, row.reply, count));
    EXPECT_EQ(link.LinkStatus, 0);
    for (int i = 0; i < count; ++i) EXPECT_EQ(link.ReplyFields[size_t(i)], row.fields[size_t(i)]);
    for (size_t i = size_t(count); i < link.ReplyFields.size(); ++i) {
        EXPECT_EQ(link.ReplyFields[i], kUntouched) << i;
    }
}

TEST_P(ReplyVectors, WrongFieldCountOrAddressIsRefused) {
    const ReplyRow& row = GetParam();
    const int count = static_cast<int>(row.fields.size());
    struct Case {
        uint32_t net;
        int count;
    };
    const std::vector<Case> cases = {
        {row.net, count - 1}, {row.net, count + 1}, {row.net + 1, count}, {row.net - 1, count}};
    for (const Case& c : cases) {
        Link link;
        link.NetNumber = c.net;
        link.LinkStatus = 0;
        EXPECT_FALSE(ParseReply(link, row.reply, c.count)) << c.net << " " << c.count;
        EXPECT_EQ(link.LinkStatus, status::kExchange);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ReplyVectors, ::testing::ValuesIn(ReplyRows()),
                         rv::test::PrintedCaseName());

TEST(LinkParse, VectorTableIsPresent) {
    EXPECT_GE(ReplyRows().size(), 21u) << RV740X_VECTORS_DIR "/replies.tsv";
}

TEST(LinkParse, WorkedExample) {
    Link link;
    ASSERT_EQ(link.NetNumber, 1u);
    ASSERT_TRUE(ParseReply(link, "!1;17;52306\r", 1));
    EXPECT_EQ(link.ReplyFields[0], "17");
    EXPECT_EQ(link.LinkStatus, 0);
}

TEST(LinkParse, BlockReadReplyCarriesItsFields) {
    std::vector<std::string> fields;
    for (int i = 0; i < request::kReadMemoryFields; ++i) fields.push_back(std::to_string(i * 4));
    Link link;
    ASSERT_TRUE(ParseReply(link, MakeReply(1, fields), request::kReadMemoryFields));
    EXPECT_EQ(link.ReplyFields[52], "208");
}

struct Accepted {
    const char* name;
    std::string text;
    int count;
    std::vector<std::string> fields;
};

TEST(LinkParse, AcceptedForms) {
    const std::string crc1 = std::to_string(test::FrameCrc("1;17;"));
    const std::vector<Accepted> cases = {
        {"noise before '!'", "\0zz!1;17;"s + crc1 + "\r", 1, {"17"}},
        {"only the first '!' counts", "x!1;17;" + crc1 + "\r!", 1, {"17"}},
        {"bytes after CR are not looked at", "!1;17;" + crc1 + "\rjunk", 1, {"17"}},
        {"leading zeros in the checksum", "!1;17;0" + crc1 + "\r", 1, {"17"}},
        {"leading zero in the echo", Framed("01;"), 0, {}},
        {"no fields", MakeReply(1, {}), 0, {}},
        {"empty field", MakeReply(1, {""}), 1, {""}},
        {"two empty fields", MakeReply(1, {"", ""}), 2, {"", ""}},
        {"field of the field set", MakeReply(1, {"$10-.09"}), 1, {"$10-.09"}},
        {"sixty fields", "", 60, {}},
        {"field of 255 characters",
         MakeReply(1, {std::string(255, '7')}),
         1,
         {std::string(255, '7')}},
    };
    for (Accepted c : cases) {
        if (c.count == 60) {
            for (int i = 0; i < 60; ++i) c.fields.push_back(std::to_string(i));
            c.text = MakeReply(1, c.fields);
        }
        Link link;
        FillFields(link);
        link.LinkStatus = 7;
        ASSERT_TRUE(ParseReply(link, c.text, c.count)) << c.name;
        EXPECT_EQ(link.LinkStatus, 0) << c.name;
        for (size_t i = 0; i < c.fields.size(); ++i) EXPECT_EQ(link.ReplyFields[i], c.fields[i]);
        for (size_t i = c.fields.size(); i < link.ReplyFields.size(); ++i) {
            EXPECT_EQ(link.ReplyFields[i], kUntouched) << c.name;
        }
    }
}

struct Refused {
    const char* name;
    std::string text;
    int count;
};

TEST(LinkParse, EveryFaultLeavesSeven) {
    const std::string ok = "!1;17;52306\r";
    std::vector<std::string> seventy;
    for (int i = 1; i <= 70; ++i) seventy.push_back(std::to_string(i));
    const std::string withNul = Framed(
        "1;1\0"
        "7;"s);
    const std::vector<Refused> cases = {
        {"empty text", "", 1},
        {"no '!'", "1;17;52306\r", 1},
        {"nothing after '!'", "!", 1},
        {"echo runs into the end", "!1", 1},
        {"empty echo", Framed(";17;"), 1},
        {"echo with '.'", Framed("1.0;17;"), 1},
        {"echo '-1'", Framed("-1;17;"), 1},
        {"echo in hexadecimal", Framed("$1;17;"), 1},
        {"echo ended by ':'", Framed("1:17;"), 1},
        {"echo ';' is the last character", "!1;", 1},
        {"other address", MakeReply(2, {"17"}), 1},
        {"address 257 wrapping to 1 in a byte", MakeReply(257, {"17"}), 1},
        {"letter in a field", MakeReply(1, {"1a"}), 1},
        {"blank in a field", MakeReply(1, {"1 7"}), 1},
        {"NUL inside a field", withNul, 1},
        {"field runs into the end", "!1;17", 1},
        {"field ';' is the last character", "!1;17;", 1},
        {"one field more", MakeReply(1, {"17", "18"}), 1},
        {"one field fewer", MakeReply(1, {"17"}), 2},
        {"empty checksum", "!1;17;\r", 1},
        {"checksum without CR", "!1;17;52306", 1},
        {"checksum ended by ';'", "!1;17;52306;\r", 1},
        {"checksum ended by LF", "!1;17;52306\n", 1},
        {"checksum with '.'", "!1;17;5230.6\r", 1},
        {"checksum in hexadecimal", "!1;17;$CC52\r", 1},
        {"checksum '-'", "!1;17;-\r", 1},
        {"CRC off by one", "!1;17;52307\r", 1},
        {"CRC over another span", "!1;18;52306\r", 1},
        {"seventy fields asked as sixty", MakeReply(1, seventy), 60},
        {"sixty-one fields asked", ok, 61},
        {"negative field count", ok, -1},
    };
    for (const Refused& c : cases) {
        Link link;
        link.LinkStatus = 0;
        EXPECT_FALSE(ParseReply(link, c.text, c.count)) << c.name;
        EXPECT_EQ(link.LinkStatus, status::kExchange) << c.name;
    }
}

TEST(LinkParse, SixtyOneFieldsFailBeforeTouchingAny) {
    std::vector<std::string> seventy;
    for (int i = 1; i <= 70; ++i) seventy.push_back(std::to_string(i));
    const std::string reply = MakeReply(1, seventy);

    Link link;
    FillFields(link);
    EXPECT_FALSE(ParseReply(link, reply, 61));
    for (const auto& field : link.ReplyFields) EXPECT_EQ(field, kUntouched);

    // With sixty the fields are read and only the checksum step fails.
    EXPECT_FALSE(ParseReply(link, reply, 60));
    EXPECT_EQ(link.LinkStatus, status::kExchange);
    EXPECT_EQ(link.ReplyFields[0], "1");
    EXPECT_EQ(link.ReplyFields[59], "60");
}

TEST(LinkParse, SecondParseWithAnotherCount) {
    // The measurement first asks for two fields, then for one.
    Link link;
    const std::string reply = MakeReply(1, {"-12"});
    EXPECT_FALSE(ParseReply(link, reply, 2));
    EXPECT_TRUE(ParseReply(link, reply, 1));
    EXPECT_EQ(link.ReplyFields[0], "-12");
}

TEST(LinkInteger, Rules) {
    struct Case {
        std::string text;
        bool valid;
        long value;
    };
    const std::vector<Case> cases = {
        {"0", true, 0},
        {"17", true, 17},
        {"007", true, 7},
        {"-5", true, -5},
        {"-0", true, 0},
        {"2147483647", true, 2147483647L},
        {"-2147483648", true, -2147483648L},
        {"$1F", true, 31},
        {"$1f", true, 31},
        {"$0", true, 0},
        {"$FF", true, 255},
        {"$7FFFFFFF", true, 2147483647L},
        {"", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"1.0", false, 0},
        {".5", false, 0},
        {"5.", false, 0},
        {"12a", false, 0},
        {"$1G", false, 0},
        {"$-1", false, 0},
        {"-$1", false, 0},
        {"1-", false, 0},
        {"--1", false, 0},
        {"+1", false, 0},
        {" 1", false, 0},
        {"2147483648", false, 0},
        {"99999999999999999999", false, 0},
        {"$123456789", false, 0},
        {"1\0"s, false, 0},
    };
    for (const Case& c : cases) {
        long value = 12345;
        EXPECT_EQ(ParseLinkInteger(c.text, value), c.valid) << '"' << c.text << '"';
        if (c.valid) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(LinkInteger, HexFieldsOfAReply) {
    Link link;
    // Only decimal digits may follow the '$' inside a reply: letters are not field characters.
    ASSERT_TRUE(ParseReply(link, MakeReply(1, {"-5", "$10", "$99"}), 3));
    long a = 0, b = 0, c = 0;
    ASSERT_TRUE(ParseLinkInteger(link.ReplyFields[0], a));
    ASSERT_TRUE(ParseLinkInteger(link.ReplyFields[1], b));
    ASSERT_TRUE(ParseLinkInteger(link.ReplyFields[2], c));
    EXPECT_EQ(a, -5);
    EXPECT_EQ(b, 16);
    EXPECT_EQ(c, 153);
    EXPECT_FALSE(ParseReply(link, MakeReply(1, {"-5", "$1F"}), 2));
}

}  // namespace
}  // namespace rv
