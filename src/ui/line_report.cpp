#include "ui/line_report.h"

#include <QDate>

#include "configfile/exact_real.h"
#include "configfile/value_texts.h"
#include "line/history.h"
#include "ui/pdf_report.h"

namespace {

QString cell(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

QString row(const QStringList& cells, const char* tag = "td") {
    QString html = "<tr>";
    for (const QString& c : cells) html += QString("<%1>%2</%1>").arg(tag, c);
    return html + "</tr>\n";
}

constexpr const char* kTable = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";

QString real(const rv::WorkingReal& value) {
    return cell(rv::ShortestRealText(rv::ToDeviceFloat(value)));
}

QString channelsOf(const rv::ConfigurationFile& copy) {
    const rv::ConfigImage& image = copy.Image;
    QString html = kTable;
    html += row({"Канал", "Тип датчика", "Схема", "Диапазон", "Уставка 1", "Уставка 2"}, "th");
    for (int c = 0; c < rv::kChannelCount; ++c) {
        const uint16_t bit = static_cast<uint16_t>(1u << c);
        if ((image.ChannelsFitted & bit) == 0 || (image.UsedChannels & bit) == 0) continue;
        const rv::ChannelConfig& ch = image.Channels[static_cast<size_t>(c)];
        html += row({QString::number(c + 1), cell(rv::SensorTypeText(ch.SensorType)),
                     cell(rv::SchemeText(ch.Scheme)), real(ch.Diap1) + " … " + real(ch.Diap2),
                     real(ch.Ustav1), real(ch.Ustav2)});
    }
    return html + "</table>\n";
}

QString sectionOf(const LineReportInstrument& instrument) {
    const rv::LineRow& r = instrument.row;
    const std::vector<std::string> texts = rv::RowTexts(r);
    const auto& titles = rv::LineColumnTitles();
    QString heading = QString::fromUtf8("Прибор %1").arg(r.instrument.NetNumber);
    if (!r.instrument.Tag.empty()) heading += QString::fromUtf8(" — ") + cell(r.instrument.Tag);
    QString html = "<h3>" + heading + "</h3>\n" + kTable;
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
        if (!texts[i].empty()) html += row({QString::fromUtf8(titles[i]), cell(texts[i])});
    }
    html += "</table>\n";
    if (instrument.lastCopy) {
        html += QString::fromUtf8("<p>Каналы по копии от %1:</p>\n")
                    .arg(cell(rv::LocalTimeOfStamp(instrument.lastCopy->SavedAt)));
        html += channelsOf(*instrument.lastCopy);
    }
    if (!r.differenceList.empty()) {
        html += QString::fromUtf8("<p>Отличия прибора от копии:</p>\n") + kTable;
        html += row({"Канал", "Параметр", "В копии", "В приборе"}, "th");
        for (const rv::FieldDifference& d : r.differenceList) {
            html += row({d.channel == 0 ? QString::fromUtf8("—") : QString::number(d.channel),
                         cell(d.field), cell(d.left), cell(d.right)});
        }
        html += "</table>\n";
    }
    return html;
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

QString LineReportHtml(const QString& lineName, const QString& port,
                       const std::vector<LineReportInstrument>& instruments, const QString& date) {
    QString html = "<html><head><meta charset=\"utf-8\"></head><body>\n";
    html += QString::fromUtf8("<h2>Линия «%1»</h2>\n").arg(lineName.toHtmlEscaped());
    html += QString::fromUtf8("<p>Порт: %1. Приборов: %2. Дата: %3.</p>\n")
                .arg(port.toHtmlEscaped())
                .arg(instruments.size())
                .arg(date.toHtmlEscaped());
    html += kTable;
    QStringList headings;
    for (const char* title : rv::LineColumnTitles()) headings << QString::fromUtf8(title);
    html += row(headings, "th");
    for (const LineReportInstrument& instrument : instruments) {
        QStringList cells;
        for (const std::string& text : rv::RowTexts(instrument.row)) cells << cell(text);
        html += row(cells);
    }
    html += "</table>\n";
    for (const LineReportInstrument& instrument : instruments) html += sectionOf(instrument);
    return html + "</body></html>\n";
}

bool WriteLineReport(const QString& path, const QString& lineName, const QString& port,
                     const std::vector<LineReportInstrument>& instruments, QString& error) {
    return WritePdfReport(
        path,
        LineReportHtml(lineName, port, instruments, QDate::currentDate().toString("dd.MM.yyyy")),
        error);
}
