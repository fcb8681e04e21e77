#include "configfile/report.h"

#include <cstdio>

#include "channel/sensors.h"
#include "config/relay_table.h"
#include "configfile/code_page.h"
#include "configfile/exact_real.h"
#include "configfile/value_texts.h"

namespace rv {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string realText(const WorkingReal& value) { return ShortestRealText(ToDeviceFloat(value)); }

std::string withUnit(const std::string& value, const std::string& unit) {
    return unit.empty() ? value : value + " " + unit;
}

std::string hexText(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

constexpr const char* kEventNames[] = {"Уставка 1", "Уставка 2", "Ошибка"};

// Which sensor types a setting means something for.
enum class Applies {
    Always,
    Resistance,   // thermometers and the resistance input: how they are wired
    Thermometer,  // R0: resistance thermometers only
    LineOfTwo,    // the line's resistance: resistance inputs wired with two wires
    Unified,      // the range and the square root: current and voltage inputs
};

bool applies(Applies rule, const ChannelConfig& c) {
    if (c.SensorType >= kSensorTypeCount) return true;
    const InputClass input = kSensorTypes[static_cast<size_t>(c.SensorType)].inputClass;
    const bool resistance =
        input == InputClass::ResistanceThermometer || input == InputClass::Resistance;
    switch (rule) {
        case Applies::Always:
            return true;
        case Applies::Resistance:
            return resistance;
        case Applies::Thermometer:
            return input == InputClass::ResistanceThermometer;
        case Applies::LineOfTwo:
            return resistance && c.Scheme == kTwoWireScheme;
        case Applies::Unified:
            return input == InputClass::Current || input == InputClass::Voltage;
    }
    return true;
}

// One row of the channels' table: the channel page's label, the rule, and either a real
// field with its unit or a text of its own.
enum class Unit { Measured, Ohm };

struct Setting {
    const char* label;
    Applies rule;
    WorkingReal ChannelConfig::*real;
    Unit unit;
    std::string (*text)(const ChannelConfig&);

    std::string value(const ChannelConfig& c) const {
        if (text != nullptr) return text(c);
        return withUnit(realText(c.*real), unit == Unit::Ohm ? "Ом" : MeasuredUnit(c.SensorType));
    }
};

constexpr Unit kOwn = Unit::Measured;

const Setting kSettings[] = {
    {"Тип  датчика", Applies::Always, nullptr, kOwn,
     [](const ChannelConfig& c) { return SensorTypeText(c.SensorType); }},
    {"Тип  схемы подкл.ТС", Applies::Resistance, nullptr, kOwn,
     [](const ChannelConfig& c) { return SchemeText(c.Scheme); }},
    {"Кол-во знаков после запятой", Applies::Always, nullptr, kOwn,
     [](const ChannelConfig& c) { return std::to_string(c.Frac); }},
    {"Сопр. датчика  в  0°C", Applies::Thermometer, &ChannelConfig::Rt0, Unit::Ohm, nullptr},
    {"Сопротивл. провода", Applies::LineOfTwo, &ChannelConfig::RLine, Unit::Ohm, nullptr},
    {"Поправка  по  темп.", Applies::Always, &ChannelConfig::Delta, kOwn, nullptr},
    {"Кол-во усреднений", Applies::Always, nullptr, kOwn,
     [](const ChannelConfig& c) { return std::to_string(c.Usred); }},
    {"Значение при   min сигнала", Applies::Unified, &ChannelConfig::Diap1, kOwn, nullptr},
    {"Значение при   max сигнала", Applies::Unified, &ChannelConfig::Diap2, kOwn, nullptr},
    {"БИК", Applies::Unified, nullptr, kOwn,
     [](const ChannelConfig& c) { return std::string((c.Flags & 1u) ? "да" : "нет"); }},
    {"Уставка 1", Applies::Always, &ChannelConfig::Ustav1, kOwn, nullptr},
    {"Гистерезис уставки 1", Applies::Always, &ChannelConfig::Gist1, kOwn, nullptr},
    {"Уставка 2", Applies::Always, &ChannelConfig::Ustav2, kOwn, nullptr},
    {"Гистерезис уставки 2", Applies::Always, &ChannelConfig::Gist2, kOwn, nullptr},
    {"Обрыв датчика (низ)", Applies::Always, &ChannelConfig::AlarmLow, kOwn, nullptr},
    {"Обрыв датчика (верх)", Applies::Always, &ChannelConfig::AlarmHigh, kOwn, nullptr},
};

void htmlTable(std::string& html, const ReportTable& table) {
    html += "<h2>" + escaped(table.heading) + "</h2>\n";
    html += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";
    const auto row = [&html](const std::vector<std::string>& cells, const char* tag) {
        html += "<tr>";
        for (const std::string& cell : cells)
            html += std::string("<") + tag + ">" + escaped(cell) + "</" + tag + ">";
        html += "</tr>\n";
    };
    if (!table.columns.empty()) {
        html += "<thead>";
        row(table.columns, "th");
        html += "</thead>\n";
    }
    for (const auto& cells : table.rows) row(cells, "td");
    html += "</table>\n";
}

}  // namespace

std::string MeasuredUnit(int sensorType) {
    if (sensorType < 0 || sensorType >= kSensorTypeCount) return {};
    switch (kSensorTypes[static_cast<size_t>(sensorType)].inputClass) {
        case InputClass::ResistanceThermometer:
        case InputClass::Thermocouple:
            return "°C";
        case InputClass::Resistance:
            return "Ом";
        case InputClass::Current:
        case InputClass::Voltage:
            return {};
    }
    return {};
}

ConfigurationReport MakeConfigurationReport(const ConfigImage& image,
                                            const InstrumentRecord& instrument,
                                            const ReportSource& source,
                                            const std::string& dateTime) {
    ConfigurationReport report;
    report.model = ModelName(image.ChannelsFitted);
    report.identity = hexText(image.LoadedId, 6);
    report.dateTime = dateTime;
    report.title = "Отчёт о конфигурации прибора " + report.model;
    report.runningLine =
        "Отчёт о конфигурации " + report.model + ", ID " + report.identity + ", " + dateTime;

    ReportTable device{"Прибор", {}, {}};
    device.rows = {
        {"Модель", report.model},
        {"Сетевой номер", std::to_string(instrument.NetNumber)},
        {"Скорость, бод", std::to_string(instrument.BaudRate)},
        {"Версия внутр. программы", InstrumentTextToUtf8(instrument.Firmware).value_or("?")},
        {"Идентификатор", report.identity},
        {"Ответ на идентификацию", instrument.Family},
        {"Дата отчёта", dateTime},
        {"Источник", source.fromFile ? "файл «" + source.fileName + "», сохранён " + source.savedAt
                                     : "считано из прибора"},
        {"Время индикации",
         std::to_string(SecondsFromDisplayCode(image.DisplayPeriodByte)) + " сек."},
    };
    report.tables.push_back(device);

    std::vector<int> fitted;
    for (int c = 0; c < kChannelCount; ++c)
        if ((image.ChannelsFitted >> c) & 1u) fitted.push_back(c);

    ReportTable channels{"Каналы", {"Параметр"}, {}};
    for (const int c : fitted) channels.columns.push_back("Канал " + std::to_string(c + 1));
    for (const Setting& s : kSettings) {
        std::vector<std::string> cells{s.label};
        for (const int c : fitted) {
            const ChannelConfig& channel = image.Channels[static_cast<size_t>(c)];
            cells.push_back(applies(s.rule, channel) ? s.value(channel) : kNotApplicable);
        }
        channels.rows.push_back(cells);
    }
    std::vector<std::string> used{"Используемые каналы"};
    for (const int c : fitted) used.push_back(((image.UsedChannels >> c) & 1u) ? "да" : "нет");
    channels.rows.push_back(used);
    report.tables.push_back(channels);

    // The relays the instrument has, one row per channel and event.
    ReportTable relays{"Реле", {"Событие"}, {}};
    std::vector<int> present;
    for (int r = 0; r < kRelayCount; ++r)
        if ((image.RelayMask >> r) & 1u) present.push_back(r);
    for (const int r : present) relays.columns.push_back("Реле" + std::to_string(r + 1));
    for (const int c : fitted) {
        for (int e = 0; e < 3; ++e) {
            const int event = 3 * c + e;
            std::vector<std::string> cells{"Канал " + std::to_string(c + 1) + ": " +
                                           kEventNames[e]};
            for (const int r : present)
                cells.push_back(RelayCodeText(event, RelayCode(image.RelayTable, r, event)));
            relays.rows.push_back(cells);
        }
    }
    report.tables.push_back(relays);

    AddSignatureBlock(report);
    return report;
}

void AddBeforeAfter(ConfigurationReport& report, const std::vector<FieldDifference>& changes,
                    const std::string& beforeText) {
    if (changes.empty()) return;
    ReportTable table{"Как было / как стало (" + beforeText + ")",
                      {"Канал", "Параметр", "Как было", "Как стало"},
                      {}};
    for (const FieldDifference& d : changes) {
        table.rows.push_back(
            {d.channel == 0 ? std::string(kNotApplicable) : std::to_string(d.channel), d.field,
             d.left, d.right});
    }
    report.tables.push_back(std::move(table));
}

void AddSignatureBlock(ConfigurationReport& report) {
    report.signatures = {"Выполнил", "Принял"};
    report.signatureLines = {"Ф. И. О.", "Должность", "Подпись", "Дата"};
}

std::string ConfigurationReportHtml(const ConfigurationReport& report) {
    // A table's rows stay whole and its heads come again on every printed page.
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>" +
        escaped(report.title) +
        "</title>\n"
        "<style>body{font-family:sans-serif;font-size:9pt} h1{font-size:16pt} "
        "h2{font-size:12pt} th,td{text-align:left} tr{break-inside:avoid} "
        "thead{display:table-header-group} .sign{break-inside:avoid;margin-top:2em}</style>\n"
        "</head>\n<body>\n";
    html += "<h1>" + escaped(report.title) + "</h1>\n";
    for (const ReportTable& table : report.tables) htmlTable(html, table);
    html += "<table class=\"sign\" cellpadding=\"6\">\n<tr>";
    for (const std::string& who : report.signatures) html += "<th>" + escaped(who) + "</th>";
    html += "</tr>\n";
    for (const std::string& line : report.signatureLines) {
        html += "<tr>";
        for (size_t i = 0; i < report.signatures.size(); ++i)
            html += "<td>" + escaped(line) + ": ____________________</td>";
        html += "</tr>\n";
    }
    html += "</table>\n</body>\n</html>\n";
    return html;
}

}  // namespace rv
