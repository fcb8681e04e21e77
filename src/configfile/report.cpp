#include "configfile/report.h"

#include <cstdio>
#include <vector>

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

void row(std::string& html, const std::vector<std::string>& cells, bool heading = false) {
    const char* tag = heading ? "th" : "td";
    html += "<tr>";
    for (const std::string& cell : cells)
        html += std::string("<") + tag + ">" + escaped(cell) + "</" + tag + ">";
    html += "</tr>\n";
}

// Table attributes that both a browser and the PDF writer's HTML layout follow.
constexpr const char* kTable = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";

constexpr const char* kEventNames[] = {"Уставка 1", "Уставка 2", "Ошибка"};

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

std::string ConfigurationReportHtml(const ConfigImage& image, const InstrumentRecord& instrument,
                                    const ReportSource& source, const std::string& date) {
    const std::string model = ModelName(image.ChannelsFitted);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Отчёт о конфигурации " +
        escaped(model) +
        "</title>\n"
        "<style>body{font-family:sans-serif;font-size:9pt} h1{font-size:16pt} "
        "h2{font-size:12pt} th,td{text-align:left}</style>\n"
        "</head>\n<body>\n";
    html += "<h1>Отчёт о конфигурации прибора " + escaped(model) + "</h1>\n";

    html += std::string("<h2>Прибор</h2>\n") + kTable;
    row(html, {"Модель", model});
    row(html, {"Сетевой номер", std::to_string(instrument.NetNumber)});
    row(html, {"Скорость, бод", std::to_string(instrument.BaudRate)});
    row(html, {"Версия внутр. программы", InstrumentTextToUtf8(instrument.Firmware).value_or("?")});
    row(html, {"Идентификатор", hexText(image.LoadedId, 6)});
    row(html, {"Ответ на идентификацию", instrument.Family});
    row(html, {"Дата отчёта", date});
    row(html,
        {"Источник", source.fromFile ? "файл «" + source.fileName + "», сохранён " + source.savedAt
                                     : "считано из прибора"});
    row(html, {"Время индикации",
               std::to_string(SecondsFromDisplayCode(image.DisplayPeriodByte)) + " сек."});
    html += "</table>\n";

    std::vector<int> fitted;
    for (int c = 0; c < kChannelCount; ++c)
        if ((image.ChannelsFitted >> c) & 1u) fitted.push_back(c);

    html += std::string("<h2>Каналы</h2>\n") + kTable;
    std::vector<std::string> heading{"Параметр"};
    for (const int c : fitted) heading.push_back("Канал " + std::to_string(c + 1));
    row(html, heading, true);
    // One row per setting of the channel page, with the channel's own unit where it has one.
    struct Setting {
        const char* label;
        std::string (*value)(const ChannelConfig&, const std::string& unit);
    };
    const Setting settings[] = {
        {"Тип  датчика",
         [](const ChannelConfig& c, const std::string&) { return SensorTypeText(c.SensorType); }},
        {"Тип  схемы подкл.ТС",
         [](const ChannelConfig& c, const std::string&) { return SchemeText(c.Scheme); }},
        {"Кол-во знаков после запятой",
         [](const ChannelConfig& c, const std::string&) { return std::to_string(c.Frac); }},
        {"Сопр. датчика  в  0°C",
         [](const ChannelConfig& c, const std::string&) {
             return withUnit(realText(c.Rt0), "Ом");
         }},
        {"Сопротивл. провода",
         [](const ChannelConfig& c, const std::string&) {
             return withUnit(realText(c.RLine), "Ом");
         }},
        {"Поправка  по  темп.",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.Delta), unit);
         }},
        {"Кол-во усреднений",
         [](const ChannelConfig& c, const std::string&) { return std::to_string(c.Usred); }},
        {"Значение при   min сигнала",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.Diap1), unit);
         }},
        {"Значение при   max сигнала",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.Diap2), unit);
         }},
        {"БИК", [](const ChannelConfig& c,
                   const std::string&) { return std::string((c.Flags & 1u) ? "да" : "нет"); }},
        {"Уставка 1", [](const ChannelConfig& c,
                         const std::string& unit) { return withUnit(realText(c.Ustav1), unit); }},
        {"Гистерезис уставки 1",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.Gist1), unit);
         }},
        {"Уставка 2", [](const ChannelConfig& c,
                         const std::string& unit) { return withUnit(realText(c.Ustav2), unit); }},
        {"Гистерезис уставки 2",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.Gist2), unit);
         }},
        {"Обрыв датчика (низ)",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.AlarmLow), unit);
         }},
        {"Обрыв датчика (верх)",
         [](const ChannelConfig& c, const std::string& unit) {
             return withUnit(realText(c.AlarmHigh), unit);
         }},
    };
    for (const Setting& s : settings) {
        std::vector<std::string> cells{s.label};
        for (const int c : fitted) {
            const ChannelConfig& channel = image.Channels[static_cast<size_t>(c)];
            cells.push_back(s.value(channel, MeasuredUnit(channel.SensorType)));
        }
        row(html, cells);
    }
    std::vector<std::string> used{"Используемые каналы"};
    for (const int c : fitted) used.push_back(((image.UsedChannels >> c) & 1u) ? "да" : "нет");
    row(html, used);
    html += "</table>\n";

    html += std::string("<h2>Реле</h2>\n") + kTable;
    // The relays the instrument has.
    std::vector<int> present;
    for (int r = 0; r < kRelayCount; ++r)
        if ((image.RelayMask >> r) & 1u) present.push_back(r);
    std::vector<std::string> relays{"Событие"};
    for (const int r : present) relays.push_back("Реле" + std::to_string(r + 1));
    row(html, relays, true);
    for (const int c : fitted) {
        for (int e = 0; e < 3; ++e) {
            const int event = 3 * c + e;
            std::vector<std::string> cells{"Канал " + std::to_string(c + 1) + ": " +
                                           kEventNames[e]};
            for (const int r : present)
                cells.push_back(RelayCodeText(event, RelayCode(image.RelayTable, r, event)));
            row(html, cells);
        }
    }
    html += "</table>\n</body>\n</html>\n";
    return html;
}

}  // namespace rv
