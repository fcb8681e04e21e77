// Reading a configuration file's text: everything the instrument could not hold is refused.
#include <initializer_list>
#include <string>

#include "channel/fields.h"
#include "channel/sensors.h"
#include "config/relay_table.h"
#include "configfile/code_page.h"
#include "configfile/configuration_file.h"
#include "configfile/exact_real.h"
#include "configfile/file_format.h"
#include "configfile/hex_text.h"
#include "configfile/value_texts.h"

namespace rv {

namespace {

using namespace file_format;

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

}  // namespace rv
