#include "line/journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "configfile/configuration_file.h"
#include "configfile/hex_text.h"
#include "fileio/append_file.h"
#include "fileio/platform_io.h"
#include "line/json_fields.h"
#include "line/line_file.h"
#include "link/status.h"
#include "ports/platform.h"

namespace rv {

namespace {

using json_fields::Json;
using json_fields::ObjectView;
using json_fields::Refused;

uint32_t idOf(const ObjectView& view) {
    const std::string text = view.text("id");
    if (text.empty()) return 0;
    const auto bytes = ParseHexText(text);
    if (!bytes || bytes->size() != 3) {
        json_fields::refuse(view.at("id"), "ожидается 6 шестнадцатеричных цифр");
    }
    return (uint32_t{(*bytes)[0]} << 16) | (uint32_t{(*bytes)[1]} << 8) | (*bytes)[2];
}

JournalEntry readEntry(const Json& j) {
    const ObjectView view(j, "",
                          {"time", "account", "port", "networkNumber", "model", "id", "operation",
                           "result", "changes"},
                          nullptr);
    JournalEntry entry;
    entry.Time = view.text("time");
    entry.Account = view.text("account");
    entry.Port = view.text("port");
    entry.NetNumber = static_cast<uint32_t>(view.number("networkNumber", 0, 255));
    entry.Model = view.text("model");
    entry.Id = idOf(view);
    entry.Operation = view.text("operation");
    entry.Result = view.text("result");
    const Json& changes = view.required("changes");
    if (!changes.is_array()) json_fields::refuse(view.at("changes"), "ожидается массив");
    for (size_t i = 0; i < changes.size(); ++i) {
        const ObjectView change(changes[i], PointerTo(view.at("changes"), i),
                                {"channel", "field", "old", "new"}, nullptr);
        entry.Changes.push_back({static_cast<int>(change.number("channel", 0, kChannelCount)),
                                 change.text("field"), change.text("old"), change.text("new")});
    }
    return entry;
}

}  // namespace

std::string OperationName(WriteKind kind) {
    switch (kind) {
        case WriteKind::Configuration:
            return "Запись конфигурации";
        case WriteKind::Password:
            return "Изменение пароля";
        case WriteKind::Network:
            return "Изменение сетевого номера и скорости";
        case WriteKind::Relays:
            return "Конфигурация реле";
    }
    return {};
}

std::string ResultText(Outcome outcome, int32_t status) {
    switch (outcome) {
        case Outcome::Done:
            return "Выполнено";
        case Outcome::Cancelled:
            return "Остановлено";
        case Outcome::Failed:
            break;
    }
    const std::string text = StatusText(static_cast<uint32_t>(status));
    return text.empty() ? "Не выполнено" : text;
}

JournalEntry MakeWriteEntry(WriteKind kind, const WriteTarget& target, const ConfigImage& before,
                            const ConfigImage& after, Outcome outcome, int32_t status) {
    JournalEntry entry;
    entry.Time = UtcTimeStamp();
    entry.Account = AccountName();
    entry.Port = target.Port;
    entry.NetNumber = target.NetNumber;
    entry.Model = target.Model;
    entry.Id = target.Id;
    entry.Operation = OperationName(kind);
    entry.Result = ResultText(outcome, status);
    entry.Changes = CompareNetworkSettings(before, after);
    const std::vector<FieldDifference> settings = CompareConfigurations(before, after);
    entry.Changes.insert(entry.Changes.end(), settings.begin(), settings.end());
    return entry;
}

std::string FormatJournalEntry(const JournalEntry& entry) {
    Json j;
    j["time"] = entry.Time;
    j["account"] = entry.Account;
    j["port"] = entry.Port;
    j["networkNumber"] = entry.NetNumber;
    j["model"] = entry.Model;
    j["id"] = IdText(entry.Id);
    j["operation"] = entry.Operation;
    j["result"] = entry.Result;
    Json changes = Json::array();
    for (const FieldDifference& d : entry.Changes) {
        Json change;
        change["channel"] = d.channel;
        change["field"] = d.field;
        change["old"] = d.left;
        change["new"] = d.right;
        changes.push_back(change);
    }
    j["changes"] = changes;
    // A text that is no UTF-8 (a port name, say) still makes a line that reads back.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseJournalEntry(std::string_view line, JournalEntry& entry, std::string& error) {
    Json j;
    try {
        j = Json::parse(line);
    } catch (const Json::parse_error& e) {
        // The parser stops past the end only on a line that ends before its entry does.
        error = e.byte > line.size()
                    ? std::string("запись оборвана")
                    : "это не JSON: ошибка в столбце " +
                          std::to_string(Utf8Length(line.substr(0, e.byte - 1)) + 1);
        return false;
    }
    try {
        entry = readEntry(j);
    } catch (const Refused& r) {
        error = (r.place.empty() ? "/" : r.place) + ": " + r.reason;
        return false;
    }
    return true;
}

bool AppendJournalEntry(const std::string& path, const JournalEntry& entry, std::string& error) {
    const std::filesystem::path folder = PathFromUtf8(path).parent_path();
    std::error_code code;
    if (!folder.empty()) std::filesystem::create_directories(folder, code);
    if (code) {
        error = "Нельзя создать каталог журнала «" + Utf8FromPath(folder) + "»: " + code.message();
        return false;
    }
    return AppendRecord(path, FormatJournalEntry(entry), error);
}

JournalContents ReadJournal(const std::string& path) {
    JournalContents contents;
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code code;
    if (!std::filesystem::exists(file, code)) {
        contents.ok = true;
        return contents;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        contents.error = "Не удалось открыть журнал «" + path + "»: " + std::strerror(errno);
        return contents;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        JournalEntry entry;
        std::string error;
        if (ParseJournalEntry(line, entry, error)) {
            contents.entries.push_back(std::move(entry));
            contents.lineNumbers.push_back(number);
        } else {
            contents.problems.push_back("«" + path + "», строка " + std::to_string(number) + ": " +
                                        error);
        }
    }
    contents.ok = true;
    return contents;
}

std::string DefaultJournalPath() {
    const std::string folder = UserDataDirectory();
    if (folder.empty()) return {};
    return Utf8FromPath(PathFromUtf8(folder) / "journal.jsonl");
}

bool EntryConcerns(const JournalEntry& entry, const std::string& model, uint32_t id, uint32_t net) {
    if (id != 0) return entry.Id == id && entry.Model == model;
    return entry.NetNumber == net;
}

}  // namespace rv
