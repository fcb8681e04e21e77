#include "line/line_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "configfile/hex_text.h"
#include "fileio/atomic_file.h"
#include "fileio/platform_io.h"
#include "line/json_fields.h"
#include "line/json_place.h"
#include "link/timeouts.h"
#include "ports/platform.h"
#include "ports/port_map.h"

namespace rv {

namespace {

using json_fields::Json;
using json_fields::ObjectView;
using json_fields::refuse;
using json_fields::Refused;

constexpr const char* kModels[] = {"RV7406", "RV7408", "RV740x"};

uint32_t readId(const ObjectView& item) {
    if (item.optional("id") == nullptr) return 0;
    const std::string text = item.text("id");
    const auto bytes = ParseHexText(text);
    if (!bytes || text.size() != 6) refuse(item.at("id"), "ожидается 6 шестнадцатеричных цифр");
    const uint32_t id = (uint32_t{(*bytes)[0]} << 16) | (uint32_t{(*bytes)[1]} << 8) | (*bytes)[2];
    if (id == 0) refuse(item.at("id"), "идентификатор 000000 не бывает у прибора");
    return id;
}

LineInstrument readInstrument(const Json& j, const std::string& place,
                              std::vector<std::string>& warnings) {
    const ObjectView item(j, place, {"networkNumber", "speed", "id", "model", "tag"}, &warnings);
    LineInstrument instrument;
    instrument.NetNumber = static_cast<uint32_t>(item.number("networkNumber", 1, 254));
    const auto speed = static_cast<uint32_t>(item.number("speed", 0, 0xFFFFFFFF));
    if (SpeedIndexOfBaud(speed) < 0) {
        refuse(item.at("speed"), "скорость " + std::to_string(speed) +
                                     " бод не поддерживается: 300, 600, 1200, 2400, 4800, "
                                     "9600 или 19200");
    }
    instrument.BaudRate = speed;
    instrument.Id = readId(item);
    if (item.optional("model") != nullptr) {
        instrument.Model = item.text("model");
        if (std::none_of(std::begin(kModels), std::end(kModels),
                         [&](const char* m) { return instrument.Model == m; })) {
            refuse(item.at("model"),
                   "модель «" + instrument.Model + "» неизвестна: RV7406, RV7408 или RV740x");
        }
    }
    if (item.optional("tag") != nullptr) {
        instrument.Tag = item.text("tag");
        if (Utf8Length(instrument.Tag) > kLongestTag) {
            refuse(item.at("tag"), "метка длиннее " + std::to_string(kLongestTag) + " символов");
        }
    }
    return instrument;
}

void readLine(const Json& root, LineFile& line, std::vector<std::string>& warnings) {
    const ObjectView top(root, "", {"format", "formatVersion", "port", "copies", "instruments"},
                         &warnings);
    if (top.text("format") != kLineFormat) {
        refuse(top.at("format"), std::string("ожидается «") + kLineFormat + "»: это не файл линии");
    }
    top.number("formatVersion", 1, kLineFormatVersion);
    line.Port = top.text("port");
    if (PortIndexOf(line.Port) < 0 && !IsDevicePath(line.Port)) {
        refuse(top.at("port"),
               "порт «" + line.Port + "»: ожидается COM1..COM4 или путь к устройству");
    }
    if (top.optional("copies") != nullptr) {
        line.Copies = top.text("copies");
        if (line.Copies.empty()) refuse(top.at("copies"), "пустое имя каталога");
    }
    const Json& list = top.required("instruments");
    const std::string listPlace = top.at("instruments");
    if (!list.is_array()) refuse(listPlace, "ожидается массив");
    std::set<uint32_t> numbers;
    std::set<std::pair<std::string, uint32_t>> identities;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string place = PointerTo(listPlace, i);
        LineInstrument instrument = readInstrument(list[i], place, warnings);
        if (!numbers.insert(instrument.NetNumber).second) {
            refuse(PointerTo(place, "networkNumber"),
                   "номер " + std::to_string(instrument.NetNumber) + " уже занят другим прибором");
        }
        if (instrument.Id != 0 && !identities.insert({instrument.Model, instrument.Id}).second) {
            refuse(PointerTo(place, "id"), "этот прибор уже есть в линии под другим номером");
        }
        line.Instruments.push_back(std::move(instrument));
    }
    std::sort(
        line.Instruments.begin(), line.Instruments.end(),
        [](const LineInstrument& a, const LineInstrument& b) { return a.NetNumber < b.NetNumber; });
}

}  // namespace

std::string FormatLine(const LineFile& line) {
    std::vector<LineInstrument> instruments = line.Instruments;
    std::sort(
        instruments.begin(), instruments.end(),
        [](const LineInstrument& a, const LineInstrument& b) { return a.NetNumber < b.NetNumber; });
    const auto str = [](const std::string& s) { return Json(s).dump(); };
    std::string text = "{\n";
    text += std::string("  \"format\": ") + str(kLineFormat) + ",\n";
    text += "  \"formatVersion\": " + std::to_string(kLineFormatVersion) + ",\n";
    text += "  \"port\": " + str(line.Port) + ",\n";
    text += "  \"copies\": " + str(line.Copies) + ",\n";
    text += "  \"instruments\": [";
    for (size_t i = 0; i < instruments.size(); ++i) {
        const LineInstrument& m = instruments[i];
        text += i == 0 ? "\n" : ",\n";
        text += "    {\"networkNumber\": " + std::to_string(m.NetNumber) +
                ", \"speed\": " + std::to_string(m.BaudRate);
        if (m.Id != 0) text += ", \"id\": " + str(IdText(m.Id));
        if (!m.Model.empty()) text += ", \"model\": " + str(m.Model);
        text += ", \"tag\": " + str(m.Tag) + "}";
    }
    text += instruments.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

LineLoadResult ParseLine(std::string_view text, const std::string& fileName, LineFile& out) {
    LineLoadResult result;
    const std::string file = "«" + fileName + "»";
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& e) {
        result.error = file + ", " + TextPlace(text, e.byte) + ": это не JSON";
        return result;
    }
    LineFile line;
    line.Copies = kDefaultCopiesFolder;
    std::vector<std::string> warnings;
    try {
        readLine(root, line, warnings);
    } catch (const Refused& r) {
        result.error = file + ", " + (r.place.empty() ? "/" : r.place) + ": " + r.reason;
        return result;
    }
    for (std::string& w : warnings) w = file + ", " + w;
    result.warnings = std::move(warnings);
    result.ok = true;
    out = std::move(line);
    return result;
}

LineLoadResult LoadLineFile(const std::string& path, LineFile& out) {
    LineLoadResult result;
    const std::filesystem::path where = PathFromUtf8(path);
    std::error_code code;
    if (!std::filesystem::is_regular_file(where, code)) {
        result.error =
            "«" + path + "»: " +
            (std::filesystem::exists(where, code) ? "это не обычный файл" : "файл не существует");
        return result;
    }
    const auto size = std::filesystem::file_size(where, code);
    if (code || size > kLineFileLimit) {
        result.error = "«" + path + "»: файл больше 1 МБ, это не файл линии";
        return result;
    }
    std::ifstream in(where, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(size))) {
        result.error = "«" + path + "»: не удалось прочитать файл: " + std::strerror(errno);
        return result;
    }
    return ParseLine(text, path, out);
}

bool SaveLineFile(const std::string& path, const LineFile& line, std::string& error) {
    AtomicWriteError failure;
    if (WriteFileAtomically(path, FormatLine(line), failure)) return true;
    error = AtomicWriteErrorText(path, failure);
    return false;
}

std::string CopiesFolderOf(const std::string& linePath, const LineFile& line) {
    const std::filesystem::path copies = PathFromUtf8(line.Copies);
    if (copies.is_absolute()) return line.Copies;
    return Utf8FromPath(PathFromUtf8(linePath).parent_path() / copies);
}

std::string JournalPathOf(const std::string& linePath) {
    const std::filesystem::path path = PathFromUtf8(linePath);
    std::string name = Utf8FromPath(path.filename());
    const std::string extension = kLineExtension;
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
        name.resize(name.size() - extension.size());
    } else if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return Utf8FromPath(path.parent_path() / PathFromUtf8(name + ".rv740x-journal.jsonl"));
}

std::string IdText(uint32_t id) {
    if (id == 0) return {};
    const uint8_t bytes[3] = {static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 8),
                              static_cast<uint8_t>(id)};
    return HexText(bytes, 3);
}

const LineInstrument* FindInstrument(const LineFile& line, uint32_t net) {
    for (const LineInstrument& m : line.Instruments)
        if (m.NetNumber == net) return &m;
    return nullptr;
}

}  // namespace rv
