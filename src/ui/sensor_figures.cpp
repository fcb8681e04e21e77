#include "ui/sensor_figures.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include "channel/fixed_text.h"

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

QString number(double value, int decimals, bool plus = false) {
    return QString::fromStdString(rv::FixedText(value, decimals, plus))
        .replace(QLatin1Char('-'), QChar(0x2212));
}

constexpr int kMarksRow = 6;
// Decimals of R and T.
constexpr int kDecimals[2] = {4, 3};

}  // namespace

SensorFigures::SensorFigures(QWidget* parent) : QWidget(parent) {
    setObjectName("Statistics");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(1);
    const char* const rowNames[kRows] = {"среднее",     "СКО",   "мин",  "макс",
                                         "дрейф, /мин", "точек", "сбоев"};
    QFont bold = font();
    bold.setBold(true);
    const int valueWidth = fontMetrics().horizontalAdvance(u("\u22120000.0000"));
    for (int row = 0; row < kRows; ++row) {
        rowNames_[row] = new QLabel(u(rowNames[row]), this);
        grid->addWidget(rowNames_[row], row + 2, 0);
    }
    for (int group = 0; group < 2; ++group) {
        // A thin rule before the span's group keeps the two apart.
        const int firstColumn = 1 + group * 3;
        groupTitles_[group] = new QLabel(this);
        groupTitles_[group]->setObjectName(group == 0 ? "WindowFiguresTitle" : "SpanFiguresTitle");
        groupTitles_[group]->setFont(bold);
        groupTitles_[group]->setAlignment(Qt::AlignCenter);
        grid->addWidget(groupTitles_[group], 0, firstColumn, 1, 2);
        for (int q = 0; q < 2; ++q) {
            auto* title = new QLabel(q == 0 ? u("R, Ом") : u("T, °C"), this);
            title->setFont(bold);
            title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(title, 1, firstColumn + q);
            quantityTitles_[group][q] = title;
            for (int row = 0; row < kRows; ++row) {
                auto* cell = new QLabel(u("—"), this);
                cell->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                cell->setMinimumWidth(valueWidth);
                grid->addWidget(cell, row + 2, firstColumn + q);
                cells_[group][q][row] = cell;
            }
        }
        if (group == 0) {
            auto* rule = new QFrame(this);
            rule->setFrameShape(QFrame::VLine);
            rule->setFrameShadow(QFrame::Sunken);
            grid->addWidget(rule, 0, 3, kRows + 2, 1);
        }
    }
    grid->setColumnStretch(6, 1);
    setTemperatureShown(true);
}

void SensorFigures::setTemperatureShown(bool shown) {
    temperatureShown_ = shown;
    for (int group = 0; group < 2; ++group) {
        quantityTitles_[group][1]->setVisible(shown);
        for (int row = 0; row < kRows; ++row) cells_[group][1][row]->setVisible(shown && row < 5);
    }
}

QString SensorFigures::cellText(int group, int quantity, int row) const {
    return cells_[group][quantity][row]->text();
}

void SensorFigures::showFigures(const rv::SpanStatistics& window, const QString& windowTitle,
                                const rv::SpanStatistics& span, const QString& spanTitle) {
    groupTitles_[0]->setText(windowTitle);
    groupTitles_[1]->setText(spanTitle);
    showGroup(0, window);
    showGroup(1, span);
    const bool marks = window.marks > 0 || span.marks > 0;
    rowNames_[kMarksRow]->setVisible(marks);
    for (int group = 0; group < 2; ++group) cells_[group][0][kMarksRow]->setVisible(marks);
}

void SensorFigures::showGroup(int group, const rv::SpanStatistics& s) {
    for (int q = 0; q < 2; ++q) {
        const bool has = s.count > 0 && (q == 0 || s.temperature.has_value());
        const rv::QuantityStatistics v =
            q == 0 ? s.resistance : s.temperature.value_or(rv::QuantityStatistics{});
        const double values[5] = {v.mean, v.deviation, v.minimum, v.maximum, v.driftPerMinute};
        for (int row = 0; row < 5; ++row) {
            cells_[group][q][row]->setText(has ? number(values[row], kDecimals[q], row == 4)
                                               : u("—"));
        }
    }
    cells_[group][0][5]->setText(QString::number(s.count));
    cells_[group][0][kMarksRow]->setText(QString::number(s.marks));
}
