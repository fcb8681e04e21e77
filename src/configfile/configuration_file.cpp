#include "configfile/configuration_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <sstream>

#include "channel/fields.h"
#include "channel/sensors.h"
#include "config/relay_table.h"
#include "configfile/code_page.h"
#include "configfile/exact_real.h"
#include "configfile/hex_text.h"
#include "configfile/value_texts.h"

namespace rv {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<uint32_t, 7> kSpeeds{300, 600, 1200, 2400, 4800, 9600, 19200};
constexpr uint32_t kLargestLoadedId = 0xFFFFFF;
constexpr int kLargestDisplaySeconds = 72;  // the last whole second whose code fits a byte

// Names of the real fields of a channel, in file order, with their members.
struct RealField {
    const char* key;
    WorkingReal ChannelConfig::*member;
};
constexpr RealField kRealsBeforeAveraging[] = {
    {"r0", &ChannelConfig::Rt0},
    {"lineResistance", &ChannelConfig::RLine},
    {"correction", &ChannelConfig::Delta},
};
constexpr RealField kScale[] = {
    {"scaleMin", &ChannelConfig::Diap1},
    {"scaleMax", &ChannelConfig::Diap2},
};
constexpr RealField kRealsAfterSquareRoot[] = {
    {"setpoint1", &ChannelConfig::Ustav1},  {"hysteresis1", &ChannelConfig::Gist1},
    {"setpoint2", &ChannelConfig::Ustav2},  {"hysteresis2", &ChannelConfig::Gist2},
    {"breakLow", &ChannelConfig::AlarmLow}, {"breakHigh", &ChannelConfig::AlarmHigh},
};
constexpr const char* kEventKeys[] = {"setpoint1", "setpoint2", "fault"};

std::string hexNumber(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

size_t dataLength(int index) { return BlockTable[static_cast<size_t>(index)].length - 1u; }

// ---- writing

Json realJson(const WorkingReal& value) {
    const DeviceFloat bytes = ToDeviceFloat(value);
    Json j;
    j["value"] = ShortestRealText(bytes);
    j["float"] = HexText(bytes.data(), bytes.size());
    return j;
}

Json codedJson(int code, const std::string& text) {
    Json j;
    j["code"] = code;
    j["text"] = text;
    return j;
}

std::string firmwareText(const std::string& bytes) {
    if (auto text = InstrumentTextToUtf8(bytes)) return *text;
    std::string ascii;
    for (unsigned char c : bytes) ascii += c < 0x80 ? static_cast<char>(c) : '?';
    return ascii;
}

Json channelJson(int number, const ChannelConfig& c) {
    Json j;
    j["channel"] = number;
    j["sensorType"] = codedJson(c.SensorType, SensorTypeText(c.SensorType));
    j["scheme"] = codedJson(c.Scheme, SchemeText(c.Scheme));
    j["decimals"] = c.Frac;
    for (const RealField& f : kRealsBeforeAveraging) j[f.key] = realJson(c.*f.member);
    j["averaging"] = c.Usred;
    for (const RealField& f : kScale) j[f.key] = realJson(c.*f.member);
    j["squareRoot"] = (c.Flags & 1u) != 0;
    for (const RealField& f : kRealsAfterSquareRoot) j[f.key] = realJson(c.*f.member);
    return j;
}

Json relayTableJson(const RelayTableBytes& table) {
    Json j;
    Json meanings;
    for (int e = 0; e < 3; ++e) {
        Json texts = Json::array();
        for (int code = 0; code < 4; ++code) texts.push_back(RelayCodeText(e, code));
        meanings[kEventKeys[e]] = texts;
    }
    j["codes"] = meanings;
    Json channels = Json::array();
    for (int c = 0; c < kChannelCount; ++c) {
        Json row;
        row["channel"] = c + 1;
        for (int e = 0; e < 3; ++e) {
            Json codes = Json::array();
            for (int r = 0; r < kRelayCount; ++r) codes.push_back(RelayCode(table, r, 3 * c + e));
            row[kEventKeys[e]] = codes;
        }
        channels.push_back(row);
    }
    j["channels"] = channels;
    return j;
}

// Where the string starting at `open` (a quote) ends: the index of its closing quote.
size_t stringEnd(const std::string& text, size_t open) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return text.size();
}

// An array or object that holds no other one goes on one line ({"value": "25", "float":
// "85480000"}, [1, 3]): the file stays short and its diffs stay small.
void compactInnermost(std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '"') {
            const size_t end = stringEnd(text, i);
            out.append(text, i, end - i + 1);
            i = end;
            continue;
        }
        if (ch == '{' || ch == '[') {
            const char close = ch == '{' ? '}' : ']';
            size_t k = i + 1;
            while (k < text.size() && text[k] != close && text[k] != '{' && text[k] != '[') {
                if (text[k] == '"') k = stringEnd(text, k);
                ++k;
            }
            if (k < text.size() && text[k] == close) {
                out += ch;
                for (size_t m = i + 1; m < k; ++m) {
                    if (text[m] == '"') {
                        const size_t end = stringEnd(text, m);
                        out.append(text, m, end - m + 1);
                        m = end;
                    } else if (text[m] == ',') {
                        out += ", ";
                    } else if (text[m] == ':') {
                        out += ": ";
                    } else if (text[m] != ' ' && text[m] != '\n') {
                        out += text[m];
                    }
                }
                out += close;
                i = k;
                continue;
            }
        }
        out += ch;
    }
    text.swap(out);
}

// ---- reading

struct Refusal {
    std::string path;
    std::string reason;
};

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
    throw Refusal{path, reason};
}

std::string at(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string at(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

class Reader {
  public:
    explicit Reader(std::vector<std::string>& warnings) : warnings_(warnings) {}

    // The object at `path`; keys outside `known` are reported and otherwise ignored.
    const Json& object(const Json& j, const std::string& path,
                       std::initializer_list<const char*> known) {
        if (!j.is_object()) refuse(path, "ожидается объект");
        for (auto it = j.begin(); it != j.end(); ++it) {
            bool isKnown = false;
            for (const char* k : known) isKnown = isKnown || it.key() == k;
            if (!isKnown) warnings_.push_back(at(path, it.key()) + ": неизвестный ключ пропущен");
        }
        return j;
    }

    static const Json& member(const Json& j, const std::string& path, const char* key) {
        const auto it = j.find(key);
        if (it == j.end()) refuse(at(path, key), "поле отсутствует");
        return *it;
    }

    static const Json& array(const Json& j, const std::string& path, size_t size) {
        if (!j.is_array()) refuse(path, "ожидается массив");
        if (j.size() != size) {
            refuse(path, "ожидается " + std::to_string(size) + " элементов, в файле " +
                             std::to_string(j.size()));
        }
        return j;
    }

    static long long integer(const Json& j, const std::string& path, long long low,
                             long long high) {
        if (!j.is_number_integer()) refuse(path, "ожидается целое число");
        const long long value = j.is_number_unsigned() && j.get<unsigned long long>() > 1ull << 62
                                    ? high + 1
                                    : j.get<long long>();
        if (value < low || value > high) {
            refuse(path, "значение " + j.dump() + " вне пределов прибора (" + std::to_string(low) +
                             ".." + std::to_string(high) + ")");
        }
        return value;
    }

    static std::string string(const Json& j, const std::string& path) {
        if (!j.is_string()) refuse(path, "ожидается строка");
        return j.get<std::string>();
    }

    static bool boolean(const Json& j, const std::string& path) {
        if (!j.is_boolean()) refuse(path, "ожидается true или false");
        return j.get<bool>();
    }

    static uint32_t hex(const Json& j, const std::string& path, int digits, uint32_t low,
                        uint32_t high) {
        const std::string text = string(j, path);
        const auto bytes = ParseHexText(text);
        if (!bytes || text.size() != static_cast<size_t>(digits)) {
            refuse(path, "ожидается " + std::to_string(digits) + " шестнадцатеричных цифр");
        }
        uint32_t value = 0;
        for (uint8_t b : *bytes) value = value * 256 + b;
        if (value < low || value > high) {
            refuse(path, "значение " + text + " вне пределов прибора (" + hexNumber(low, digits) +
                             ".." + hexNumber(high, digits) + ")");
        }
        return value;
    }

    // A real: the decimal text decides; the hex bytes are kept when they are that number,
    // so that bits the number cannot show (a zero's) come back too.
    WorkingReal real(const Json& j, const std::string& path) {
        object(j, path, {"value", "float"});
        const std::string valuePath = at(path, "value");
        const std::string text = string(member(j, path, "value"), valuePath);
        WorkingReal parsed;
        const RealText result = ParseRealField(text, parsed);
        if (result == RealText::Invalid) refuse(valuePath, "не число: «" + text + "»");
        if (result == RealText::Overflow) refuse(valuePath, "значение вне пределов прибора");
        const std::string floatPath = at(path, "float");
        const auto bytes = ParseHexText(string(member(j, path, "float"), floatPath));
        if (!bytes || bytes->size() != 4) refuse(floatPath, "ожидается 8 шестнадцатеричных цифр");
        const DeviceFloat stored{(*bytes)[0], (*bytes)[1], (*bytes)[2], (*bytes)[3]};
        const DeviceFloat typed = ToDeviceFloat(parsed);
        const bool same =
            FromDeviceFloat(stored.data()).toDouble() == FromDeviceFloat(typed.data()).toDouble();
        return FromDeviceFloat(same ? stored.data() : typed.data());
    }

  private:
    std::vector<std::string>& warnings_;
};

void readInstrument(Reader& r, const Json& root, ConfigurationFile& f) {
    const std::string path = "instrument";
    const Json& j = r.object(Reader::member(root, "", "instrument"), path,
                             {"networkNumber", "speed", "family", "firmware", "loadedId",
                              "channelsFitted", "relayMask", "model"});
    f.Instrument.NetNumber = static_cast<uint32_t>(Reader::integer(
        Reader::member(j, path, "networkNumber"), at(path, "networkNumber"), 0, 0xFFFF));
    const std::string speedPath = at(path, "speed");
    const auto speed = Reader::integer(Reader::member(j, path, "speed"), speedPath, 300, 19200);
    int speedIndex = -1;
    for (size_t i = 0; i < kSpeeds.size(); ++i)
        if (kSpeeds[i] == speed) speedIndex = static_cast<int>(i);
    if (speedIndex < 0) refuse(speedPath, "нет такой скорости: " + std::to_string(speed));
    f.Instrument.BaudRate = static_cast<uint32_t>(speed);
    f.Image.DialogNetNumber = static_cast<uint16_t>(f.Instrument.NetNumber);
    f.Image.DialogSpeedIndex = static_cast<uint8_t>(speedIndex);
    f.Instrument.Family = Reader::string(Reader::member(j, path, "family"), at(path, "family"));
    const std::string firmwarePath = at(path, "firmware");
    const std::string firmware = Reader::string(Reader::member(j, path, "firmware"), firmwarePath);
    const auto bytes = Utf8ToInstrumentText(firmware);
    if (!bytes) refuse(firmwarePath, "текст не в кодировке прибора (Windows-1251)");
    f.Instrument.Firmware = *bytes;
    f.Image.LoadedId = Reader::hex(Reader::member(j, path, "loadedId"), at(path, "loadedId"), 6, 1,
                                   kLargestLoadedId);
    f.Image.ChannelsFitted = static_cast<uint16_t>(Reader::hex(
        Reader::member(j, path, "channelsFitted"), at(path, "channelsFitted"), 4, 0, 0xFFFF));
    f.Image.RelayMask = static_cast<uint16_t>(
        Reader::hex(Reader::member(j, path, "relayMask"), at(path, "relayMask"), 4, 0, 0xFFFF));
    Reader::string(Reader::member(j, path, "model"), at(path, "model"));
}

void readRawBlocks(Reader& r, const Json& root, ConfigurationFile& f) {
    const std::string path = "rawBlocks";
    const Json& blocks =
        Reader::array(Reader::member(root, "", "rawBlocks"), path, kWrittenBlocks.size());
    for (size_t i = 0; i < kWrittenBlocks.size(); ++i) {
        const int index = kWrittenBlocks[i];
        const std::string itemPath = at(path, i);
        const Json& item = r.object(blocks[i], itemPath, {"block", "bytes"});
        const std::string blockPath = at(itemPath, "block");
        if (Reader::integer(Reader::member(item, itemPath, "block"), blockPath, 0,
                            kBlockCount - 1) != index) {
            refuse(blockPath, "ожидается блок " + std::to_string(index));
        }
        const std::string bytesPath = at(itemPath, "bytes");
        const auto bytes =
            ParseHexText(Reader::string(Reader::member(item, itemPath, "bytes"), bytesPath));
        if (!bytes) refuse(bytesPath, "ожидаются шестнадцатеричные цифры парами");
        if (bytes->size() != dataLength(index)) {
            refuse(bytesPath, "длина блока " + std::to_string(bytes->size()) + " байт, у прибора " +
                                  std::to_string(dataLength(index)));
        }
        std::vector<uint8_t> data = *bytes;
        if (index == kPasswordBlockIndex) std::fill_n(data.begin(), kPasswordDataBytes, 0);
        BlockBuffer buffer{};
        std::copy(data.begin(), data.end(), buffer.begin() + 1);
        f.Image.DecodeBlock(index, buffer);
        f.Instrument.Raw[static_cast<size_t>(index)] = std::move(data);
    }
}

void readChannel(Reader& r, const Json& j, const std::string& path, int number, ChannelConfig& c) {
    r.object(j, path,
             {"channel", "sensorType", "scheme", "decimals", "r0", "lineResistance", "correction",
              "averaging", "scaleMin", "scaleMax", "squareRoot", "setpoint1", "hysteresis1",
              "setpoint2", "hysteresis2", "breakLow", "breakHigh"});
    Reader::integer(Reader::member(j, path, "channel"), at(path, "channel"), number, number);
    auto coded = [&](const char* key, int count, const char* unknown) {
        const std::string p = at(path, key);
        const Json& o = r.object(Reader::member(j, path, key), p, {"code", "text"});
        const Json& code = Reader::member(o, p, "code");
        Reader::string(Reader::member(o, p, "text"), at(p, "text"));
        const std::string codePath = at(p, "code");
        const long long value = Reader::integer(code, codePath, 0, 255);
        if (value >= count) refuse(codePath, std::string(unknown) + " " + std::to_string(value));
        return static_cast<uint8_t>(value);
    };
    c.SensorType = coded("sensorType", kSensorTypeCount, "неизвестный код типа датчика");
    c.Scheme = coded("scheme", kSchemeCount, "неизвестный код схемы подключения");
    c.Frac = static_cast<uint8_t>(
        Reader::integer(Reader::member(j, path, "decimals"), at(path, "decimals"), 0, 255));
    auto reals = [&](const auto& fields) {
        for (const RealField& f : fields)
            c.*f.member = r.real(Reader::member(j, path, f.key), at(path, f.key));
    };
    reals(kRealsBeforeAveraging);
    c.Usred = static_cast<uint16_t>(
        Reader::integer(Reader::member(j, path, "averaging"), at(path, "averaging"), 0, 0xFFFF));
    reals(kScale);
    const bool root =
        Reader::boolean(Reader::member(j, path, "squareRoot"), at(path, "squareRoot"));
    c.Flags = static_cast<uint8_t>((c.Flags & ~1u) | (root ? 1u : 0u));
    reals(kRealsAfterSquareRoot);
}

void readSettings(Reader& r, const Json& root, ConfigImage& image) {
    const Json& channels =
        Reader::array(Reader::member(root, "", "channels"), "channels", kChannelCount);
    for (size_t i = 0; i < kChannelCount; ++i) {
        readChannel(r, channels[i], at("channels", i), static_cast<int>(i) + 1, image.Channels[i]);
    }

    const Json& used = Reader::member(root, "", "usedChannels");
    if (!used.is_array()) refuse("usedChannels", "ожидается массив");
    uint16_t low = 0;
    for (size_t i = 0; i < used.size(); ++i) {
        const auto n = Reader::integer(used[i], at("usedChannels", i), 1, kChannelCount);
        if ((low >> (n - 1)) & 1u) refuse(at("usedChannels", i), "канал назван дважды");
        low = static_cast<uint16_t>(low | (1u << (n - 1)));
    }
    image.UsedChannels = static_cast<uint16_t>((image.UsedChannels & 0xFF00u) | low);

    const std::string periodPath = "displayPeriod";
    const Json& period =
        r.object(Reader::member(root, "", "displayPeriod"), periodPath, {"seconds", "code"});
    const auto seconds = Reader::integer(Reader::member(period, periodPath, "seconds"),
                                         at(periodPath, "seconds"), 0, kLargestDisplaySeconds);
    const auto code = static_cast<uint8_t>(Reader::integer(
        Reader::member(period, periodPath, "code"), at(periodPath, "code"), 0, 255));
    image.DisplayPeriodByte = SecondsFromDisplayCode(code) == seconds
                                  ? code
                                  : DisplayCodeFromSeconds(static_cast<long>(seconds));

    const std::string tablePath = "relayTable";
    const Json& table =
        r.object(Reader::member(root, "", "relayTable"), tablePath, {"codes", "channels"});
    const std::string rowsPath = at(tablePath, "channels");
    const Json& rows =
        Reader::array(Reader::member(table, tablePath, "channels"), rowsPath, kChannelCount);
    for (size_t c = 0; c < kChannelCount; ++c) {
        const std::string rowPath = at(rowsPath, c);
        const Json& row =
            r.object(rows[c], rowPath, {"channel", "setpoint1", "setpoint2", "fault"});
        Reader::integer(Reader::member(row, rowPath, "channel"), at(rowPath, "channel"),
                        static_cast<long long>(c) + 1, static_cast<long long>(c) + 1);
        for (int e = 0; e < 3; ++e) {
            const std::string cellsPath = at(rowPath, kEventKeys[e]);
            const Json& cells =
                Reader::array(Reader::member(row, rowPath, kEventKeys[e]), cellsPath, kRelayCount);
            for (size_t relay = 0; relay < kRelayCount; ++relay) {
                const auto value = Reader::integer(cells[relay], at(cellsPath, relay), 0, 3);
                SetRelayCode(image.RelayTable, static_cast<int>(relay), 3 * static_cast<int>(c) + e,
                             static_cast<int>(value));
            }
        }
    }
}

void readDocument(Reader& r, const Json& root, ConfigurationFile& f) {
    r.object(root, "",
             {"format", "formatVersion", "savedAt", "programVersion", "instrument", "channels",
              "usedChannels", "displayPeriod", "relayTable", "rawBlocks"});
    const std::string format = Reader::string(Reader::member(root, "", "format"), "format");
    if (format != kConfigurationFormat) {
        refuse("format", "«" + format + "» — не файл конфигурации RV7406/RV7408");
    }
    const Json& version = Reader::member(root, "", "formatVersion");
    if (version.is_number_integer() && version.get<long long>() > kConfigurationFormatVersion) {
        refuse("formatVersion", "версия формата " + version.dump() +
                                    " новее, чем понимает программа (" +
                                    std::to_string(kConfigurationFormatVersion) + ")");
    }
    Reader::integer(version, "formatVersion", 1, kConfigurationFormatVersion);
    f.SavedAt = Reader::string(Reader::member(root, "", "savedAt"), "savedAt");
    f.ProgramVersion = Reader::string(Reader::member(root, "", "programVersion"), "programVersion");
    readRawBlocks(r, root, f);
    readInstrument(r, root, f);
    readSettings(r, root, f.Image);
}

std::string refusalText(const Refusal& refusal) {
    return (refusal.path.empty() ? std::string("(весь файл)") : refusal.path) + ": " +
           refusal.reason;
}

}  // namespace

RawBlocks WrittenData(const ConfigImage& image, const RawBlocks& raw) {
    RawBlocks out;
    for (int index : kWrittenBlocks) {
        const auto i = static_cast<size_t>(index);
        BlockBuffer buffer{};
        const size_t length = dataLength(index);
        if (raw[i].size() == length) std::copy(raw[i].begin(), raw[i].end(), buffer.begin() + 1);
        image.EncodeBlock(index, buffer);
        out[i].assign(buffer.begin() + 1, buffer.begin() + 1 + static_cast<long>(length));
        if (index == kPasswordBlockIndex) std::fill_n(out[i].begin(), kPasswordDataBytes, 0);
    }
    return out;
}

std::string FormatConfiguration(const ConfigImage& image, const InstrumentRecord& instrument,
                                const std::string& savedAt) {
    Json root;
    root["format"] = kConfigurationFormat;
    root["formatVersion"] = kConfigurationFormatVersion;
    root["savedAt"] = savedAt;
    root["programVersion"] = kProgramVersion;

    Json device;
    device["networkNumber"] = instrument.NetNumber;
    device["speed"] = instrument.BaudRate;
    device["family"] = instrument.Family;
    device["firmware"] = firmwareText(instrument.Firmware);
    device["loadedId"] = hexNumber(image.LoadedId, 6);
    device["channelsFitted"] = hexNumber(image.ChannelsFitted, 4);
    device["relayMask"] = hexNumber(image.RelayMask, 4);
    device["model"] = ModelName(image.ChannelsFitted);
    root["instrument"] = device;

    Json channels = Json::array();
    for (int i = 0; i < kChannelCount; ++i)
        channels.push_back(channelJson(i + 1, image.Channels[static_cast<size_t>(i)]));
    root["channels"] = channels;

    Json used = Json::array();
    for (int i = 0; i < kChannelCount; ++i)
        if ((image.UsedChannels >> i) & 1u) used.push_back(i + 1);
    root["usedChannels"] = used;

    Json period;
    period["seconds"] = SecondsFromDisplayCode(image.DisplayPeriodByte);
    period["code"] = image.DisplayPeriodByte;
    root["displayPeriod"] = period;
    root["relayTable"] = relayTableJson(image.RelayTable);

    const RawBlocks data = WrittenData(image, instrument.Raw);
    Json raw = Json::array();
    for (int index : kWrittenBlocks) {
        const auto& bytes = data[static_cast<size_t>(index)];
        Json block;
        block["block"] = index;
        block["bytes"] = HexText(bytes.data(), bytes.size());
        raw.push_back(block);
    }
    root["rawBlocks"] = raw;

    std::string text = root.dump(2);
    compactInnermost(text);
    return text + "\n";
}

LoadResult ParseConfiguration(std::string_view text, ConfigurationFile& out) {
    LoadResult result;
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
        result.error = "(весь файл): испорченный JSON, ошибка у байта " + std::to_string(e.byte);
        return result;
    } catch (const Json::exception&) {
        // The parser refuses a number beyond a double, such as 1e1010, with an exception
        // of its own.
        result.error = "(весь файл): число вне пределов JSON";
        return result;
    }
    ConfigurationFile file;
    Reader reader(result.warnings);
    try {
        readDocument(reader, root, file);
    } catch (const Refusal& refusal) {
        result.error = refusalText(refusal);
        result.warnings.clear();
        return result;
    } catch (const Json::exception& e) {
        result.error = std::string("(весь файл): содержимое не читается (") + e.what() + ")";
        result.warnings.clear();
        return result;
    }
    out = std::move(file);
    result.ok = true;
    return result;
}

namespace {

enum class Existing { Replace, Keep };

// Puts `temporary` in `path`'s place; with Keep it fails with EEXIST when `path` exists, also
// on file systems that cannot refuse a rename themselves.
bool moveInto(const std::string& temporary, const std::string& path, Existing existing) {
    if (existing == Existing::Replace) return std::rename(temporary.c_str(), path.c_str()) == 0;
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// Writes `text` to a temporary file beside `path`, then moves it into place. On failure no
// file at `path` has changed and `code` is the errno of the step that failed.
bool saveText(const std::string& path, const std::string& text, Existing existing,
              std::string& error, int& code) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        code = errno;
        error = "Не удалось создать файл рядом с «" + path + "»: " + std::strerror(code);
        return false;
    }
    fchmod(fd, 0644);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    const bool complete = written == text.size() && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!complete || !moveInto(temporary, path, existing)) {
        code = complete ? errno : savedErrno;
        error = "Не удалось записать файл «" + path + "»: " + std::strerror(code);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool SaveConfigurationFile(const std::string& path, const ConfigImage& image,
                           const InstrumentRecord& instrument, std::string& error) {
    int code = 0;
    return saveText(path, FormatConfiguration(image, instrument, UtcTimeStamp()), Existing::Replace,
                    error, code);
}

bool SaveNewConfigurationFile(const std::string& directory, const std::string& name,
                              const std::string& timeText, const ConfigImage& image,
                              const InstrumentRecord& instrument, std::string& path,
                              std::string& error) {
    const std::string text = FormatConfiguration(image, instrument, UtcTimeStamp());
    const std::string extension = kConfigurationExtension;
    const bool hasExtension =
        name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    const std::string stem = hasExtension ? name.substr(0, name.size() - extension.size()) : name;
    const std::string tail = hasExtension ? extension : std::string();
    constexpr int kTries = 1000;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = stem;
        if (attempt > 0) candidate += "_" + timeText;
        if (attempt > 1) candidate += "_" + std::to_string(attempt);
        path = (std::filesystem::path(directory) / (candidate + tail)).string();
        int code = 0;
        if (saveText(path, text, Existing::Keep, error, code)) return true;
        if (code != EEXIST) return false;
    }
    error = "Не удалось подобрать свободное имя файла для «" + name + "»";
    return false;
}

LoadResult LoadConfigurationFile(const std::string& path, ConfigurationFile& out) {
    LoadResult result;
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        result.error =
            "Не удалось открыть файл «" + path + "»: " +
            (std::filesystem::exists(path, code) ? "это не обычный файл" : "файл не существует");
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "Не удалось открыть файл «" + path + "»: " + std::strerror(errno);
        return result;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<size_t>(in.tellg());
    if (size > kConfigurationFileLimit) {
        result.error = "(весь файл): файл больше 1 МБ (" + std::to_string(size) +
                       " байт), это не файл конфигурации";
        return result;
    }
    in.seekg(0);
    std::string text(size, '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
        result.error = "Не удалось прочитать файл «" + path + "»";
        return result;
    }
    return ParseConfiguration(text, out);
}

std::string DefaultConfigurationFileName(const ConfigImage& image, uint32_t netNumber,
                                         const std::string& date) {
    return ModelName(image.ChannelsFitted) + "_" + std::to_string(netNumber) + "_" +
           hexNumber(image.LoadedId, 6) + "_" + date + kConfigurationExtension;
}

namespace {

// The time now in strftime's `format`, on the local clock or in UTC.
std::string timeNowText(const char* format, bool utc) {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (utc) {
        gmtime_r(&now, &parts);
    } else {
        localtime_r(&now, &parts);
    }
    char buffer[32];
    std::strftime(buffer, sizeof buffer, format, &parts);
    return buffer;
}

}  // namespace

std::string LocalDateText() { return timeNowText("%Y-%m-%d", false); }

std::string UtcTimeStamp() { return timeNowText("%Y-%m-%dT%H:%M:%SZ", true); }

std::string LocalTimeText() { return timeNowText("%H%M%S", false); }

}  // namespace rv
