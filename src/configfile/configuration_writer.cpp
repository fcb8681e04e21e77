// Writing a configuration file's text.
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

}  // namespace rv
