#include "configfile/configuration_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>

#include "config/relay_table.h"
#include "configfile/difference.h"
#include "configfile/exact_real.h"
#include "configfile/hex_text.h"
#include "rv740x_version.h"
#include "sim_harness.h"

namespace rv {
namespace {

using Json = nlohmann::ordered_json;

std::vector<uint8_t> hex(const std::string& text) { return ParseHexText(text).value(); }

const std::string kChannel1 = std::string("06") + "87480000" + "00000000" + "7F2AAAAB" + "01" +
                              "02" + "00000000" + "87480000" + "1000" + "81" + "8E9C4000" +
                              "8E1C4000" + "5A";

// A memory whose every value below was worked out by hand from the instrument's float
// layout (exponent byte biased by 129, sign over a 23-bit fraction with a hidden one).
struct KnownMemory {
    ConfigImage image;
    InstrumentRecord record;

    KnownMemory() {
        record.NetNumber = 1;
        record.BaudRate = 9600;
        record.Family = "17";
        record.Firmware = "2.07";
        image.ChannelsFitted = 0xFF;
        image.RelayMask = 0xFF;
        image.LoadedId = 0x0A1B2C;
        // Channel 1: Pt100, R0 100, line 0, correction 1/3, two-wire, 2 decimals, scale
        // 0..100, 16 averages, square root with bit 7 set, breaks -10000/10000, spare 5A.
        setData(3, kChannel1);
        for (int index = 4; index <= 10; ++index) setData(index, std::string(70, '0'));
        // Set points of channel 1: 25, hysteresis 0.1; a zero carrying stray bits; -0.5.
        setData(11, "854800007D4CCCCD0012345680800000");
        for (int index = 12; index <= 18; ++index) setData(index, std::string(32, '0'));
        // Relay 1 on channel 1's upper set point 2 (code 2), relay 2 on its fault (code 1);
        // channels 1 and 3 used.
        std::string relay(96, '0');
        relay.replace(0, 2, "08");
        relay.replace(12, 2, "10");
        setData(2, relay + "0500");
        // Password 1234, two spare bytes, display code 11 (3 s).
        setData(20, "3412AABB0B");
    }

    void setData(int index, const std::string& digits) {
        const std::vector<uint8_t> data = hex(digits);
        EXPECT_EQ(data.size(), test::kBlocks[static_cast<size_t>(index)].length - 1u) << index;
        BlockBuffer b{};
        std::copy(data.begin(), data.end(), b.begin() + 1);
        image.DecodeBlock(index, b);
        record.Raw[static_cast<size_t>(index)] = data;
    }
};

std::string goldenPath() {
    return std::string(RV740X_TESTS_DIR) + "/core/golden/known.rv740x.json";
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ConfigurationFile, KnownMemoryGivesTheHandCheckedValues) {
    const KnownMemory known;
    const std::string text = FormatConfiguration(known.image, known.record, "2026-12-07T10:15:00Z");
    const Json j = Json::parse(text);
    EXPECT_EQ(j["format"], "rv740x-configuration");
    EXPECT_EQ(j["formatVersion"], 1);
    EXPECT_EQ(j["instrument"]["loadedId"], "0A1B2C");
    EXPECT_EQ(j["instrument"]["model"], "RV7408");
    EXPECT_EQ(j["instrument"]["firmware"], "2.07");
    const Json& c = j["channels"][0];
    EXPECT_EQ(c["sensorType"], Json::parse(R"j({"code": 6, "text": "Pt100  (W=1.385)"})j"));
    EXPECT_EQ(c["scheme"], Json::parse(R"j({"code": 1, "text": "2-х  проводная"})j"));
    EXPECT_EQ(c["decimals"], 2);
    EXPECT_EQ(c["averaging"], 16);
    EXPECT_EQ(c["squareRoot"], true);
    const std::pair<const char*, std::pair<const char*, const char*>> reals[] = {
        {"r0", {"100", "87480000"}},
        {"lineResistance", {"0", "00000000"}},
        {"correction", {"0.33333334", "7F2AAAAB"}},
        {"scaleMax", {"100", "87480000"}},
        {"setpoint1", {"25", "85480000"}},
        {"hysteresis1", {"0.1", "7D4CCCCD"}},
        {"setpoint2", {"0", "00123456"}},
        {"hysteresis2", {"-0.5", "80800000"}},
        {"breakLow", {"-10000", "8E9C4000"}},
        {"breakHigh", {"10000", "8E1C4000"}},
    };
    for (const auto& [key, value] : reals) {
        EXPECT_EQ(c[key]["value"], value.first) << key;
        EXPECT_EQ(c[key]["float"], value.second) << key;
    }
    EXPECT_EQ(j["channels"][1]["sensorType"]["text"], "50M    (W=1.428)");
    EXPECT_EQ(j["usedChannels"], Json::parse("[1, 3]"));
    EXPECT_EQ(j["displayPeriod"], Json::parse(R"j({"seconds": 3, "code": 11})j"));
    EXPECT_EQ(j["relayTable"]["channels"][0]["setpoint2"], Json::parse("[2,0,0,0,0,0,0,0]"));
    EXPECT_EQ(j["relayTable"]["channels"][0]["fault"], Json::parse("[0,1,0,0,0,0,0,0]"));
    EXPECT_EQ(j["relayTable"]["channels"][0]["setpoint1"], Json::parse("[0,0,0,0,0,0,0,0]"));
    EXPECT_EQ(j["rawBlocks"][1]["block"], 3);
    EXPECT_EQ(j["rawBlocks"][1]["bytes"], kChannel1);
    // The password never reaches a file.
    EXPECT_EQ(j["rawBlocks"][17], Json::parse(R"j({"block": 20, "bytes": "0000AABB0B"})j"));
    EXPECT_EQ(DefaultConfigurationFileName(known.image, known.record.NetNumber, "2026-12-07"),
              "RV7408_1_0A1B2C_2026-12-07.rv740x.json");
}

TEST(ConfigurationFile, KnownMemoryMatchesTheCheckedInFileAndReadsBack) {
    const KnownMemory known;
    // The checked-in file holds the version as @RV740X_VERSION@: it is the build's.
    std::string golden = readText(goldenPath());
    ASSERT_FALSE(golden.empty()) << goldenPath();
    const std::string versionMark = "@RV740X_VERSION@";
    const size_t versionAt = golden.find(versionMark);
    ASSERT_NE(versionAt, std::string::npos);
    golden.replace(versionAt, versionMark.size(), RV740X_VERSION);
    EXPECT_EQ(FormatConfiguration(known.image, known.record, "2026-12-07T10:15:00Z"), golden);

    ConfigurationFile file;
    const LoadResult result = ParseConfiguration(golden, file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.warnings.empty());
    ConfigImage expected = known.image;
    expected.Password = 0;
    EXPECT_EQ(file.Image, expected);
    EXPECT_EQ(file.Image.Channels[0].Flags, 0x81);
    EXPECT_EQ(ToDeviceFloat(file.Image.Channels[0].Ustav2), (DeviceFloat{0x00, 0x12, 0x34, 0x56}));
    EXPECT_EQ(file.Instrument.Raw[20], hex("0000AABB0B"));
    EXPECT_EQ(file.Instrument.Firmware, "2.07");
    EXPECT_EQ(file.SavedAt, "2026-12-07T10:15:00Z");
}

TEST(ConfigurationFile, RandomImagesComeBackBitForBit) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        ConfigImage image;
        InstrumentRecord record;
        record.NetNumber = random() % 255;
        record.BaudRate = 19200;
        record.Family = "17";
        record.Firmware = "\xC2\xE5\xF0 3.1";  // "Вер 3.1" in the instrument's code page
        for (int index : kWrittenBlocks) {
            std::vector<uint8_t> data(test::kBlocks[static_cast<size_t>(index)].length - 1u);
            for (uint8_t& b : data) b = static_cast<uint8_t>(random());
            if (index >= 3 && index <= 10) data[0] = static_cast<uint8_t>(random() % 18);
            if (index >= 3 && index <= 10) data[13] = static_cast<uint8_t>(random() % 2);
            if (index == 20) data[0] = data[1] = 0;
            // Zeros with stray bits, and the largest magnitudes.
            if (round % 3 == 0 && index >= 11 && index <= 18) data[0] = 0;
            if (round % 5 == 0 && index >= 11 && index <= 18) data[4] = 0xFF;
            BlockBuffer b{};
            std::copy(data.begin(), data.end(), b.begin() + 1);
            image.DecodeBlock(index, b);
            record.Raw[static_cast<size_t>(index)] = data;
        }
        image.LoadedId = 1 + random() % 0xFFFFFF;
        image.ChannelsFitted = static_cast<uint16_t>(random());
        image.RelayMask = static_cast<uint16_t>(random());
        image.DialogNetNumber = static_cast<uint16_t>(record.NetNumber);
        image.DialogSpeedIndex = 6;

        ConfigurationFile file;
        const LoadResult result = ParseConfiguration(FormatConfiguration(image, record, "t"), file);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_EQ(file.Image, image) << "round " << round;
        ASSERT_EQ(file.Instrument.Raw, record.Raw) << "round " << round;
        ASSERT_EQ(file.Instrument.Firmware, record.Firmware);
        ASSERT_EQ(file.Instrument.NetNumber, record.NetNumber);
    }
}

TEST(ConfigurationFile, ShortestTextIsTheShortestThatTypesBackTheSameBytes) {
    const std::pair<DeviceFloat, const char*> cases[] = {
        {{0x87, 0x48, 0x00, 0x00}, "100"},        {{0x7D, 0x4C, 0xCC, 0xCD}, "0.1"},
        {{0x7F, 0x2A, 0xAA, 0xAB}, "0.33333334"}, {{0x80, 0x80, 0x00, 0x00}, "-0.5"},
        {{0x98, 0x18, 0x96, 0x80}, "10000000"},   {{0x00, 0xFF, 0xFF, 0xFF}, "0"},
        {{0x73, 0x51, 0xB7, 0x17}, "0.0001"},     {{0xFF, 0x7F, 0xFF, 0xFF}, "1.7014117e+38"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(ShortestRealText(bytes), text);
}

// A valid file's text, edited.
std::string edited(const std::function<void(Json&)>& edit) {
    const KnownMemory known;
    Json j = Json::parse(FormatConfiguration(known.image, known.record, "2026-12-07T10:15:00Z"));
    edit(j);
    return j.dump(2);
}

struct BadFile {
    const char* name;
    std::function<std::string()> text;
    const char* error;
};

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreRefusedWithTheirPathAndChangeNothing) {
    ConfigurationFile file;
    file.Image.LoadedId = 0x123456;
    file.SavedAt = "untouched";
    const ConfigurationFile before = file;
    const LoadResult result = ParseConfiguration(GetParam().text(), file);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, GetParam().error);
    EXPECT_EQ(file.Image, before.Image);
    EXPECT_EQ(file.SavedAt, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadFiles,
    ::testing::Values(
        BadFile{"Malformed", [] { return std::string(R"({"format": "rv740x-configuration",)"); },
                "(весь файл): испорченный JSON, ошибка у байта 35"},
        BadFile{"NumberBeyondADouble", [] { return std::string(R"({"formatVersion": 1e1010})"); },
                "(весь файл): число вне пределов JSON"},
        BadFile{"NotAnObject", [] { return std::string("[1, 2]"); },
                "(весь файл): ожидается объект"},
        BadFile{"OtherFormat", [] { return edited([](Json& j) { j["format"] = "other"; }); },
                "format: «other» — не файл конфигурации RV7406/RV7408"},
        BadFile{"NewerVersion", [] { return edited([](Json& j) { j["formatVersion"] = 2; }); },
                "formatVersion: версия формата 2 новее, чем понимает программа (1)"},
        BadFile{"VersionAsText", [] { return edited([](Json& j) { j["formatVersion"] = "1"; }); },
                "formatVersion: ожидается целое число"},
        BadFile{"MissingSetPoint",
                [] { return edited([](Json& j) { j["channels"][3].erase("setpoint1"); }); },
                "channels[3].setpoint1: поле отсутствует"},
        BadFile{"SetPointAsNumber",
                [] { return edited([](Json& j) { j["channels"][3]["setpoint1"]["value"] = 25; }); },
                "channels[3].setpoint1.value: ожидается строка"},
        BadFile{
            "SetPointNotANumber",
            [] { return edited([](Json& j) { j["channels"][3]["setpoint1"]["value"] = "25,5"; }); },
            "channels[3].setpoint1.value: не число: «25,5»"},
        BadFile{
            "SetPointTooLarge",
            [] { return edited([](Json& j) { j["channels"][3]["setpoint1"]["value"] = "1e39"; }); },
            "channels[3].setpoint1.value: значение вне пределов прибора"},
        BadFile{"ShortFloat",
                [] {
                    return edited(
                        [](Json& j) { j["channels"][3]["setpoint1"]["float"] = "854800"; });
                },
                "channels[3].setpoint1.float: ожидается 8 шестнадцатеричных цифр"},
        BadFile{"DecimalsBeyondAByte",
                [] { return edited([](Json& j) { j["channels"][0]["decimals"] = 256; }); },
                "channels[0].decimals: значение 256 вне пределов прибора (0..255)"},
        BadFile{"NegativeAveraging",
                [] { return edited([](Json& j) { j["channels"][7]["averaging"] = -1; }); },
                "channels[7].averaging: значение -1 вне пределов прибора (0..65535)"},
        BadFile{"UnknownSensorType",
                [] { return edited([](Json& j) { j["channels"][2]["sensorType"]["code"] = 18; }); },
                "channels[2].sensorType.code: неизвестный код типа датчика 18"},
        BadFile{"UnknownScheme",
                [] { return edited([](Json& j) { j["channels"][2]["scheme"]["code"] = 2; }); },
                "channels[2].scheme.code: неизвестный код схемы подключения 2"},
        BadFile{"SquareRootAsNumber",
                [] { return edited([](Json& j) { j["channels"][0]["squareRoot"] = 1; }); },
                "channels[0].squareRoot: ожидается true или false"},
        BadFile{"SevenChannels", [] { return edited([](Json& j) { j["channels"].erase(7); }); },
                "channels: ожидается 8 элементов, в файле 7"},
        BadFile{"UsedChannelNine",
                [] { return edited([](Json& j) { j["usedChannels"].push_back(9); }); },
                "usedChannels[2]: значение 9 вне пределов прибора (1..8)"},
        BadFile{"DisplayPeriodTooLong",
                [] { return edited([](Json& j) { j["displayPeriod"]["seconds"] = 73; }); },
                "displayPeriod.seconds: значение 73 вне пределов прибора (0..72)"},
        BadFile{
            "RelayCodeFour",
            [] { return edited([](Json& j) { j["relayTable"]["channels"][5]["fault"][7] = 4; }); },
            "relayTable.channels[5].fault[7]: значение 4 вне пределов прибора (0..3)"},
        BadFile{"LoadedIdZero",
                [] { return edited([](Json& j) { j["instrument"]["loadedId"] = "000000"; }); },
                "instrument.loadedId: значение 000000 вне пределов прибора (000001..FFFFFF)"},
        BadFile{"OddSpeed", [] { return edited([](Json& j) { j["instrument"]["speed"] = 9601; }); },
                "instrument.speed: нет такой скорости: 9601"},
        BadFile{"MissingInstrument", [] { return edited([](Json& j) { j.erase("instrument"); }); },
                "instrument: поле отсутствует"},
        BadFile{"RawBlockShort",
                [] {
                    return edited([](Json& j) {
                        std::string bytes = j["rawBlocks"][1]["bytes"];
                        j["rawBlocks"][1]["bytes"] = bytes.substr(2);
                    });
                },
                "rawBlocks[1].bytes: длина блока 34 байт, у прибора 35"},
        BadFile{"RawBlockNotHex",
                [] { return edited([](Json& j) { j["rawBlocks"][17]["bytes"] = "0000AABBXY"; }); },
                "rawBlocks[17].bytes: ожидаются шестнадцатеричные цифры парами"},
        BadFile{"RawBlockOutOfOrder",
                [] { return edited([](Json& j) { j["rawBlocks"][0]["block"] = 3; }); },
                "rawBlocks[0].block: ожидается блок 2"},
        BadFile{"RawBlockMissing", [] { return edited([](Json& j) { j["rawBlocks"].erase(17); }); },
                "rawBlocks: ожидается 18 элементов, в файле 17"}),
    [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(ConfigurationFile, HandEditedValueWinsOverItsBytesAndRawBytes) {
    ConfigurationFile file;
    const LoadResult result =
        ParseConfiguration(edited([](Json& j) {
                               j["channels"][0]["setpoint1"]["value"] = "30";  // bytes still say 25
                               j["displayPeriod"]["seconds"] = 10;  // code still says 3 s
                               j["channels"][0]["squareRoot"] = false;
                           }),
                           file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(ToDeviceFloat(file.Image.Channels[0].Ustav1), (DeviceFloat{0x85, 0x70, 0x00, 0x00}));
    EXPECT_EQ(file.Image.DisplayPeriodByte, 36);  // (10 * 900 + 255) / 256
    EXPECT_EQ(file.Image.Channels[0].Flags, 0x80);
    // What a write would send follows the edit.
    const RawBlocks sent = WrittenData(file.Image, file.Instrument.Raw);
    EXPECT_EQ(sent[11], hex("857000007D4CCCCD0012345680800000"));
    EXPECT_EQ(sent[20], hex("0000AABB24"));
}

TEST(ConfigurationFile, UnknownKeysAreIgnoredWithAWarningEach) {
    ConfigurationFile file;
    const LoadResult result = ParseConfiguration(edited([](Json& j) {
                                                     j["comment"] = "after repair";
                                                     j["channels"][4]["colour"] = "red";
                                                 }),
                                                 file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{"comment: неизвестный ключ пропущен",
                                        "channels[4].colour: неизвестный ключ пропущен"}));
}

TEST(ConfigurationFile, FilesOverOneMegabyteAreRefusedUnparsed) {
    test::TempDir dir;
    const std::string path = dir.path() + "/big.rv740x.json";
    {
        std::ofstream out(path, std::ios::binary);
        out << edited([](Json&) {});
        out << std::string(kConfigurationFileLimit, ' ');
    }
    ConfigurationFile file;
    const LoadResult result = LoadConfigurationFile(path, file);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("(весь файл): файл больше 1 МБ", 0), 0u) << result.error;
    EXPECT_EQ(file.Image.LoadedId, 0u);
    EXPECT_FALSE(LoadConfigurationFile(dir.path(), file).ok);
    EXPECT_FALSE(LoadConfigurationFile(dir.path() + "/absent.rv740x.json", file).ok);
}

TEST(ConfigurationFile, SaveReplacesTheFileWholeAndLeavesNoTemporary) {
    const KnownMemory known;
    test::TempDir dir;
    const std::string path = dir.path() + "/a.rv740x.json";
    { std::ofstream(path) << "old"; }
    std::string error;
    ASSERT_TRUE(SaveConfigurationFile(path, known.image, known.record, error)) << error;
    ConfigurationFile file;
    ASSERT_TRUE(LoadConfigurationFile(path, file).ok);
    EXPECT_EQ(file.Image.LoadedId, 0x0A1B2Cu);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(SaveConfigurationFile(dir.path() + "/no/such/dir/b.rv740x.json", known.image,
                                       known.record, error));
    EXPECT_FALSE(error.empty());
}

// A backup's name is never one that exists: the time, then _2, _3; what was there stays.
TEST(ConfigurationFile, SaveNewNeverReplacesAFile) {
    const KnownMemory known;
    test::TempDir dir;
    const std::string name = "RV7408_3_0A1B2C_2026-12-07.rv740x.json";
    { std::ofstream(dir.path() + "/" + name) << "edited"; }
    const std::vector<std::string> expected = {"RV7408_3_0A1B2C_2026-12-07_203015.rv740x.json",
                                               "RV7408_3_0A1B2C_2026-12-07_203015_2.rv740x.json",
                                               "RV7408_3_0A1B2C_2026-12-07_203015_3.rv740x.json"};
    for (const std::string& next : expected) {
        std::string path;
        std::string error;
        ASSERT_TRUE(SaveNewConfigurationFile(dir.path(), name, "203015", known.image, known.record,
                                             path, error))
            << error;
        EXPECT_EQ(path, dir.path() + "/" + next);
        ConfigurationFile file;
        EXPECT_TRUE(LoadConfigurationFile(path, file).ok) << path;
    }
    std::ifstream kept(dir.path() + "/" + name);
    std::string keptText;
    std::getline(kept, keptText);
    EXPECT_EQ(keptText, "edited");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              4);
}

TEST(ConfigurationDifference, NamesChangedFieldsAsThePageDoes) {
    const KnownMemory known;
    ConfigImage other = known.image;
    EXPECT_TRUE(CompareConfigurations(known.image, other).empty());
    other.Channels[0].Ustav1 = FromDeviceFloat(hex("85700000").data());  // 30
    other.Channels[2].SensorType = 13;
    other.Channels[7].Flags = 1;
    other.UsedChannels = 0x07;
    other.DisplayPeriodByte = 36;
    SetRelayCode(other.RelayTable, 1, 2, 2);
    const std::vector<FieldDifference> d = CompareConfigurations(known.image, other);
    const std::vector<FieldDifference> expected{
        {1, "Уставка 1", "25", "30"},
        {3, "Тип  датчика", "50M    (W=1.428)", "Ток     0...+20 мА"},
        {8, "БИК", "нет", "да"},
        {2, "Используемые каналы", "нет", "да"},
        {0, "Время индикации", "3 сек. (код 11)", "10 сек. (код 36)"},
        {1, "Реле2: Ошибка", "Вкл", "Выкл"},
    };
    ASSERT_EQ(d.size(), expected.size());
    for (size_t i = 0; i < d.size(); ++i) {
        EXPECT_EQ(d[i].channel, expected[i].channel) << i;
        EXPECT_EQ(d[i].field, expected[i].field) << i;
        EXPECT_EQ(d[i].left, expected[i].left) << i;
        EXPECT_EQ(d[i].right, expected[i].right) << i;
    }
}

TEST(ConfigurationDifference, IdentityLinesNameFamilyModelAndRelayMask) {
    const InstrumentIdentity file{"17", 0xFF, 0xFF};
    EXPECT_TRUE(IdentityDifferences(file, file).empty());
    EXPECT_EQ(IdentityDifferences(file, {"17", 0x3F, 0x3F}),
              (std::vector<std::string>{
                  "Модель: в файле RV7408 (каналы 00FF), прибор RV7406 (каналы 003F)",
                  "Маска реле: в файле 00FF, в приборе 003F"}));
    EXPECT_EQ(IdentityDifferences(file, {"18", 0, 0}),
              (std::vector<std::string>{"Семейство: в файле «17», прибор ответил «18»"}));
}

}  // namespace
}  // namespace rv
