#include "ui/line_report.h"

#include "configfile/exact_real.h"
#include "configfile/value_texts.h"
#include "line/history.h"
#include "ui/pdf_report.h"

namespace {

std::string real(const rv::WorkingReal& value) {
    return rv::ShortestRealText(rv::ToDeviceFloat(value));
}

rv::ReportTable channelsOf(const rv::ConfigurationFile& copy) {
    const rv::ConfigImage& image = copy.Image;
    rv::ReportTable table{"Каналы по копии от " + rv::LocalTimeOfStamp(copy.SavedAt),
                          {"Канал", "Тип датчика", "Схема", "Диапазон", "Уставка 1", "Уставка 2"},
                          {}};
    for (int c = 0; c < rv::kChannelCount; ++c) {
        const auto bit = static_cast<uint16_t>(1u << c);
        if ((image.ChannelsFitted & bit) == 0 || (image.UsedChannels & bit) == 0) continue;
        const rv::ChannelConfig& ch = image.Channels[static_cast<size_t>(c)];
        table.rows.push_back({std::to_string(c + 1), rv::SensorTypeText(ch.SensorType),
                              rv::SchemeText(ch.Scheme), real(ch.Diap1) + " … " + real(ch.Diap2),
                              real(ch.Ustav1), real(ch.Ustav2)});
    }
    return table;
}

void addSectionOf(const LineReportInstrument& instrument, rv::ConfigurationReport& report) {
    const rv::LineRow& r = instrument.row;
    const std::vector<std::string> texts = rv::RowTexts(r);
    const auto& titles = rv::LineColumnTitles();
    rv::ReportTable summary{"Прибор " + std::to_string(r.instrument.NetNumber), {}, {}};
    if (!r.instrument.Tag.empty()) summary.heading += " — " + r.instrument.Tag;
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
        if (!texts[i].empty()) summary.rows.push_back({titles[i], texts[i]});
    }
    report.tables.push_back(std::move(summary));
    if (instrument.lastCopy) report.tables.push_back(channelsOf(*instrument.lastCopy));
    if (!r.differenceList.empty()) {
        rv::ReportTable differences{
            "Отличия прибора от копии", {"Канал", "Параметр", "В копии", "В приборе"}, {}};
        for (const rv::FieldDifference& d : r.differenceList) {
            differences.rows.push_back(
                {d.channel == 0 ? rv::kNotApplicable : std::to_string(d.channel), d.field, d.left,
                 d.right});
        }
        report.tables.push_back(std::move(differences));
    }
}

}  // namespace

std::vector<LineReportInstrument> LineReportInstruments(const std::vector<rv::LineRow>& rows,
                                                        const std::string& copiesFolder) {
    std::vector<LineReportInstrument> instruments;
    instruments.reserve(rows.size());
    for (const rv::LineRow& r : rows) {
        LineReportInstrument instrument{r, std::nullopt};
        if (r.instrument.Id != 0) {
            rv::InstrumentHistory last =
                rv::LoadLastVersion(copiesFolder, r.instrument.Model, r.instrument.Id);
            if (!last.versions.empty()) instrument.lastCopy = std::move(last.versions.back().file);
        }
        instruments.push_back(std::move(instrument));
    }
    return instruments;
}

rv::ConfigurationReport MakeLineReport(const std::string& lineName, const std::string& port,
                                       const std::vector<LineReportInstrument>& instruments,
                                       const std::string& dateTime) {
    rv::ConfigurationReport report;
    report.title = "Отчёт о линии «" + lineName + "»";
    report.dateTime = dateTime;
    report.runningLine = report.title + ", порт " + port + ", " + dateTime;
    report.tables.push_back({"Линия",
                             {},
                             {{"Порт", port},
                              {"Приборов", std::to_string(instruments.size())},
                              {"Дата отчёта", dateTime}}});
    rv::ReportTable table{"Приборы", {}, {}};
    for (const char* title : rv::LineColumnTitles()) table.columns.emplace_back(title);
    for (const LineReportInstrument& instrument : instruments)
        table.rows.push_back(rv::RowTexts(instrument.row));
    report.tables.push_back(std::move(table));
    for (const LineReportInstrument& instrument : instruments) addSectionOf(instrument, report);
    rv::AddSignatureBlock(report);
    return report;
}

bool WriteLineReport(const QString& path, const QString& lineName, const QString& port,
                     const std::vector<LineReportInstrument>& instruments, QString& error) {
    return WritePdfReport(path,
                          MakeLineReport(lineName.toStdString(), port.toStdString(), instruments,
                                         rv::LocalDateTimeText()),
                          error);
}
