#include "ui/sensor_plot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "channel/axis_ticks.h"
#include "channel/fixed_text.h"

const QColor SensorPlot::kResistanceColour(0x00, 0x72, 0xb2);
const QColor SensorPlot::kTemperatureColour(0x00, 0x9e, 0x73);
const QColor SensorPlot::kMarkColour(0xd0, 0x00, 0x00);
const QColor SensorPlot::kStableShade(0xd9, 0xef, 0xda);
const QColor SensorPlot::kUnsettledShade(0xf5, 0xe9, 0xc8);

namespace {

const QColor kGrid(0xe2, 0xe2, 0xe2);
const QColor kFrame(0x80, 0x80, 0x80);
const QColor kText(0x20, 0x20, 0x20);

// The least height of the value range of each pane, so a steady reading is not drawn across
// ticks a thousandth apart: 0.02 Ω and 0.05 °C.
constexpr double kLeastResistanceWidth = 0.02;
constexpr double kLeastTemperatureWidth = 0.05;
// Room kept above and below a line, as a share of its range.
constexpr double kHeadroom = 0.06;
constexpr int kLineWidth = 2;
constexpr int kMarkSize = 7;
constexpr int kMostTicks = 13;

QString u(const char* text) { return QString::fromUtf8(text); }

QString tickText(double value, int decimals) {
    return QString::fromStdString(rv::FixedText(value, decimals)).replace('-', QChar(0x2212));
}

}  // namespace

struct SensorPlot::Pane {
    QRect rect;  // the data area, inside the frame
    rv::ValueTicks ticks;
    QString title;
    QColor colour;
    bool empty = true;  // no reading in the time shown: no value axis

    double y(double value) const {
        const double low = ticks.low();
        const double high = ticks.high();
        return rect.bottom() + 1 - (value - low) / (high - low) * rect.height();
    }
};

SensorPlot::SensorPlot(const rv::SensorSeries& series, QWidget* parent)
    : QWidget(parent), series_(series) {
    setObjectName("SensorPlot");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SensorPlot::setTemperatureShown(bool shown) {
    temperatureShown_ = shown;
    update();
}

void SensorPlot::setTimeRange(double runStart, double from, double to) {
    runStart_ = runStart;
    from_ = from;
    to_ = std::max(to, from + 1);
    update();
}

void SensorPlot::setStabilityWindow(double from, double to, bool stable) {
    windowShown_ = true;
    windowFrom_ = from;
    windowTo_ = to;
    stable_ = stable;
    update();
}

void SensorPlot::clearStabilityWindow() {
    windowShown_ = false;
    update();
}

QSize SensorPlot::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QLatin1Char('0')) * 60,
            fm.height() * (temperatureShown_ ? 18 : 12)};
}

QSize SensorPlot::sizeHint() const {
    const QSize least = minimumSizeHint();
    return {least.width() * 3 / 2, least.height() * 3 / 2};
}

void SensorPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect());
}

void SensorPlot::drawText(QPainter& painter, const QRect& box, int flags, const QString& text) {
    painter.drawText(box, flags, text);
    // Where the single line stands in its box, from the font's measures: cheaper than asking
    // the painter to lay the text out once more.
    const QFontMetrics fm(painter.font());
    const int width = fm.horizontalAdvance(text);
    const int height = fm.height();
    int x = box.left();
    if (flags & Qt::AlignRight) x = box.right() + 1 - width;
    if (flags & Qt::AlignHCenter) x = box.left() + (box.width() - width) / 2;
    int y = box.top();
    if (flags & Qt::AlignBottom) y = box.bottom() + 1 - height;
    if (flags & Qt::AlignVCenter) y = box.top() + (box.height() - height) / 2;
    textBoxes_.emplace_back(x, y, width, height);
}

void SensorPlot::paint(QPainter& painter, const QRect& area) {
    textBoxes_.clear();
    panes_.clear();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font());
    painter.fillRect(area, Qt::white);
    const QFontMetrics fm(font());
    const int lineHeight = fm.height();
    const int gap = lineHeight / 2;
    const int digit = fm.horizontalAdvance(QLatin1Char('0'));

    // Rows from the top: the legend, then each pane under its title; the time's labels and
    // title at the bottom.
    const int legendBottom = area.top() + 4 + lineHeight + gap;
    const int bottomRows = lineHeight / 2 + 2 + lineHeight + 2 + lineHeight + 4;
    const int paneCount = temperatureShown_ ? 2 : 1;
    const int available = area.bottom() + 1 - legendBottom - bottomRows -
                          paneCount * (lineHeight + 2) - (paneCount - 1) * gap;
    const int paneHeight = std::max(available / paneCount, lineHeight);
    // The time's labels are some "00:00" wide; the last may stand out past the right edge.
    const QString widestTime = u("00:00:00");
    const int timeLabelWidth = fm.horizontalAdvance(widestTime);
    const int right = area.right() - std::max(digit, timeLabelWidth / 2 + 2);

    // The value ranges come from the columns, whose count depends on the left margin, which
    // depends on the ticks' labels: the margin of the last paint is tried first and kept while
    // it fits, so a steady plot goes over its points once.
    Pane panes[2];
    panes[0].title = u("R, Ом");
    panes[0].colour = kResistanceColour;
    panes[1].title = u("T, °C");
    panes[1].colour = kTemperatureColour;
    // Value labels at least a line and a half apart, time labels their width and three digits;
    // at most a dozen of either, more would only crowd a large plot's grid.
    const int mostTicks = std::clamp(paneHeight * 2 / (lineHeight * 3) + 1, 2, kMostTicks);
    int left = area.left() + (leftMargin_ > 0 ? leftMargin_ : 8 * digit);
    for (int attempt = 0; attempt < 3; ++attempt) {
        rv::FillPlotColumns(series_, from_, to_, std::max(right - left, 1), columns_);
        int labelWidth = 0;
        for (int p = 0; p < paneCount; ++p) {
            const uint8_t kind =
                p == 0 ? rv::PlotColumns::kResistance : rv::PlotColumns::kTemperature;
            const std::vector<rv::ColumnValues>& values =
                p == 0 ? columns_.resistance : columns_.temperature;
            double low = 0;
            double high = 0;
            bool any = false;
            for (int c = 0; c < columns_.count(); ++c) {
                if ((columns_.held[static_cast<size_t>(c)] & kind) == 0) continue;
                const rv::ColumnValues& v = values[static_cast<size_t>(c)];
                low = any ? std::min(low, v.low) : v.low;
                high = any ? std::max(high, v.high) : v.high;
                any = true;
            }
            panes[p].empty = !any;
            const double room = (high - low) * kHeadroom;
            panes[p].ticks =
                rv::RoundTicks(low - room, high + room, mostTicks,
                               p == 0 ? kLeastResistanceWidth : kLeastTemperatureWidth);
            for (int i = 0; i < panes[p].ticks.count && any; ++i) {
                const QString text = tickText(panes[p].ticks.at(i), panes[p].ticks.decimals);
                labelWidth = std::max(labelWidth, fm.horizontalAdvance(text));
            }
            labelWidth = std::max(labelWidth, fm.horizontalAdvance(panes[p].title));
        }
        // The extremes do not depend on the columns' count, so a second round always agrees.
        const int wanted = area.left() + labelWidth + digit + 6;
        if (wanted == left) break;
        left = wanted;
    }
    leftMargin_ = left - area.left();

    int top = legendBottom;
    for (int p = 0; p < paneCount; ++p) {
        top += lineHeight + 2;
        panes[p].rect = QRect(left, top, std::max(right - left, 1), paneHeight);
        top += paneHeight + gap;
        panes_.push_back(panes[p].rect);
    }
    const int plotBottom = panes[paneCount - 1].rect.bottom();
    const double secondsPerPixel = (to_ - from_) / std::max(right - left, 1);
    const auto xOf = [&](double seconds) {
        return left + static_cast<int>(std::floor((seconds - from_) / secondsPerPixel));
    };

    // The stability window behind everything else.
    if (windowShown_ && windowTo_ >= from_ && windowFrom_ <= to_) {
        const int x0 = std::max(xOf(std::max(windowFrom_, from_)), left);
        const int x1 = std::min(xOf(std::min(windowTo_, to_)), right - 1);
        for (int p = 0; p < paneCount; ++p) {
            const QRect& r = panes[p].rect;
            painter.fillRect(QRect(x0, r.top(), std::max(x1 - x0 + 1, 1), r.height()),
                             stable_ ? kStableShade : kUnsettledShade);
        }
    }

    // The time's ticks: grid lines across both panes, labels under the lower one.
    const double shownFrom = from_ - runStart_;
    const double shownTo = to_ - runStart_;
    const rv::TimeTicks timeTicks = rv::RoundTimeTicks(
        shownFrom, shownTo,
        std::clamp((right - left) / (timeLabelWidth + 3 * digit), 2, kMostTicks));
    painter.setPen(QPen(kGrid, 1));
    for (int i = 0; i < timeTicks.count; ++i) {
        const int x = xOf(runStart_ + timeTicks.at(i));
        for (int p = 0; p < paneCount; ++p)
            painter.drawLine(x, panes[p].rect.top(), x, panes[p].rect.bottom());
    }
    for (int p = 0; p < paneCount; ++p) {
        const Pane& pane = panes[p];
        for (int i = 0; i < pane.ticks.count && !pane.empty; ++i) {
            const int y = static_cast<int>(std::lround(pane.y(pane.ticks.at(i))));
            painter.drawLine(pane.rect.left(), y, pane.rect.right(), y);
        }
    }

    for (int p = 0; p < paneCount; ++p) {
        painter.save();
        painter.setClipRect(panes[p].rect.adjusted(0, -kLineWidth, 0, kLineWidth));
        drawLine(painter, panes[p], p == 0 ? columns_.resistance : columns_.temperature,
                 p == 0 ? rv::PlotColumns::kResistance : rv::PlotColumns::kTemperature);
        if (p == 0) drawMarks(painter, panes[p]);
        painter.restore();
    }

    // Frames, value labels and titles.
    painter.setPen(QPen(kText, 1));
    for (int p = 0; p < paneCount; ++p) {
        const Pane& pane = panes[p];
        painter.save();
        painter.setPen(QPen(kFrame, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(pane.rect.adjusted(-1, -1, 0, 0));
        painter.restore();
        if (pane.empty) {
            painter.save();
            painter.setPen(kFrame);
            drawText(painter, pane.rect, Qt::AlignCenter, u("нет измерений"));
            painter.restore();
        }
        for (int i = 0; i < pane.ticks.count && !pane.empty; ++i) {
            const int y = static_cast<int>(std::lround(pane.y(pane.ticks.at(i))));
            drawText(painter,
                     QRect(area.left(), y - lineHeight / 2, left - area.left() - digit, lineHeight),
                     Qt::AlignRight | Qt::AlignVCenter,
                     tickText(pane.ticks.at(i), pane.ticks.decimals));
        }
        QFont bold = font();
        bold.setBold(true);
        painter.save();
        painter.setFont(bold);
        painter.setPen(pane.colour);
        // Above the pane's own left edge, clear of the value labels beside it.
        const QRect titleBox(left, pane.rect.top() - lineHeight - 2,
                             QFontMetrics(bold).horizontalAdvance(pane.title) + 2, lineHeight);
        drawText(painter, titleBox, Qt::AlignLeft | Qt::AlignVCenter, pane.title);
        painter.restore();
    }
    // Below the lowest value label, which stands half a line under the pane.
    const int labelsTop = plotBottom + lineHeight / 2 + 2;
    for (int i = 0; i < timeTicks.count; ++i) {
        const int x = xOf(runStart_ + timeTicks.at(i));
        drawText(painter, QRect(x - timeLabelWidth / 2, labelsTop, timeLabelWidth, lineHeight),
                 Qt::AlignHCenter | Qt::AlignTop,
                 QString::fromStdString(rv::ElapsedText(timeTicks.at(i))));
    }
    const QString timeTitle =
        shownTo >= 3600 ? u("время от пуска, ч:мин:с") : u("время от пуска, мин:с");
    drawText(painter, QRect(left, labelsTop + lineHeight + 2, right - left, lineHeight),
             Qt::AlignHCenter | Qt::AlignTop, timeTitle);

    drawLegend(painter, QRect(left, area.top() + 4, right - left, lineHeight));
    painter.restore();
}

void SensorPlot::drawLine(QPainter& painter, const Pane& pane,
                          const std::vector<rv::ColumnValues>& values, uint8_t kind) {
    // Each column is a bar two pixels wide from its lowest to its highest reading, stretched to
    // where the column before it ended; columns with none between them are joined by a line.
    // Bars and one-pixel lines take the rasteriser's fast paths, where a wide pen's stroke
    // would cost some thirty times as much.
    bars_.clear();
    gaps_.clear();
    const int left = pane.rect.left();
    int previous = -2;
    int previousY = 0;
    for (int c = 0; c < columns_.count(); ++c) {
        if ((columns_.held[static_cast<size_t>(c)] & kind) == 0) continue;
        const rv::ColumnValues& v = values[static_cast<size_t>(c)];
        const int x = left + c;
        int top = static_cast<int>(std::lround(pane.y(v.high)));
        int bottom = static_cast<int>(std::lround(pane.y(v.low)));
        if (previous == c - 1) {
            top = std::min(top, previousY);
            bottom = std::max(bottom, previousY);
        } else if (previous >= 0) {
            gaps_.emplace_back(left + previous, previousY, x,
                               static_cast<int>(std::lround(pane.y(v.first))));
        }
        bars_.emplace_back(x, top, kLineWidth, bottom - top + kLineWidth);
        previous = c;
        previousY = static_cast<int>(std::lround(pane.y(v.last)));
    }
    if (bars_.empty()) return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(pane.colour);
    painter.drawRects(bars_.data(), static_cast<int>(bars_.size()));
    painter.setBrush(Qt::NoBrush);
    if (gaps_.empty()) return;
    painter.setPen(QPen(pane.colour, 1));
    for (const QPoint offset : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1)}) {
        painter.save();
        painter.translate(offset);
        painter.drawLines(gaps_.data(), static_cast<int>(gaps_.size()));
        painter.restore();
    }
}

void SensorPlot::drawMarks(QPainter& painter, const Pane& pane) {
    // A mark sits on the resistance line where the last reading before it left it, or on the
    // pane's floor when no reading came before it.
    double at = pane.ticks.low();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kMarkColour);
    for (int c = 0; c < columns_.count(); ++c) {
        const uint8_t held = columns_.held[static_cast<size_t>(c)];
        if (held & rv::PlotColumns::kMark) {
            const int x = pane.rect.left() + c;
            const int y = static_cast<int>(std::lround(pane.y(at)));
            painter.drawRect(x - kMarkSize / 2, y - kMarkSize / 2, kMarkSize, kMarkSize);
        }
        if (held & rv::PlotColumns::kResistance)
            at = columns_.resistance[static_cast<size_t>(c)].last;
    }
    painter.setBrush(Qt::NoBrush);
}

void SensorPlot::drawLegend(QPainter& painter, const QRect& row) {
    const QFontMetrics fm(font());
    const int sample = fm.horizontalAdvance(u("0000"));
    const int y = row.center().y();
    int x = row.left();
    const auto label = [&](const QString& text) {
        const int width = fm.horizontalAdvance(text) + 2;
        painter.setPen(kText);
        drawText(painter, QRect(x, row.top(), width, row.height()),
                 Qt::AlignLeft | Qt::AlignVCenter, text);
        x += width + sample / 2;
    };
    const auto lineSample = [&](const QColor& colour) {
        painter.setPen(QPen(colour, kLineWidth));
        painter.drawLine(x, y, x + sample, y);
        x += sample + 4;
    };
    lineSample(kResistanceColour);
    label(u("R, Ом"));
    if (temperatureShown_) {
        lineSample(kTemperatureColour);
        label(u("T, °C"));
    }
    painter.fillRect(QRect(x + sample / 2 - kMarkSize / 2, y - kMarkSize / 2, kMarkSize, kMarkSize),
                     kMarkColour);
    x += sample + 4;
    label(u("сбой"));
    painter.fillRect(QRect(x, row.top() + 2, sample, row.height() - 4),
                     stable_ ? kStableShade : kUnsettledShade);
    x += sample + 4;
    label(u("окно стабильности"));
}
