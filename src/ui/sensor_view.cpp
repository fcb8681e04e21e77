#include "ui/sensor_view.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSizePolicy>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "configfile/sensor_csv.h"
#include "link/link.h"
#include "link/status.h"
#include "ui/line_owner.h"
#include "ui/message_boxes.h"

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

// The current values are shown this often; the answers come faster.
constexpr int kRedrawMs = 1000;
// The plot and the statistics are redrawn every this many showings: a redraw costs the
// window's thread several milliseconds, the current values next to nothing.
constexpr int kPlotEvery = 2;
// Buckets of the min/max thinning: at most twice as many points per line, about one per
// pixel column of the plot.
constexpr int kPlotBuckets = 400;

QString number(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    // A value that rounds to zero shows no sign.
    if (text.startsWith(QLatin1Char('-')) && text.count(QLatin1Char('0')) == text.size() - 2)
        text.remove(0, 1);
    return text.replace(QLatin1Char('-'), QChar(0x2212));
}

QList<QPointF> plotPoints(const std::vector<std::pair<double, double>>& values) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(values.size()));
    for (const auto& [seconds, value] : values) points.append(QPointF(seconds * 1000, value));
    return points;
}

// The axis range of the values, widened a little so that a flat line is not drawn on an edge.
void fitAxis(QValueAxis* axis, const QList<QPointF>& points, double leastWidth) {
    if (points.isEmpty()) return;
    double low = points.front().y();
    double high = low;
    for (const QPointF& p : points) {
        low = std::min(low, p.y());
        high = std::max(high, p.y());
    }
    const double margin = std::max((high - low) * 0.08, leastWidth / 2);
    axis->setRange(low - margin, high + margin);
}

}  // namespace

SensorView::SensorView(int channelIndex, Host host)
    : QWidget(nullptr, Qt::Window), channelIndex_(channelIndex), host_(std::move(host)) {
    setObjectName("SensorView");
    setWindowTitle(u("Наблюдение за датчиком — канал %1").arg(channelIndex_ + 1));
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (host_.setup) setup_ = host_.setup();
    chooseCsvPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, u("Сохранить CSV"), suggested,
                                            u("CSV (*.csv);;Все файлы (*)"));
    };
    build();
    redraw_ = new QTimer(this);
    redraw_->setInterval(kRedrawMs);
    connect(redraw_, &QTimer::timeout, this, [this] {
        takeGathered();
        if (++ticks_ % kPlotEvery != 0) {
            showCurrent();
            return;
        }
        if (dirty_) refresh();
    });
    if (host_.line) connect(host_.line, &LineOwner::busyChanged, this, &SensorView::showState);
    showState();
    refresh();
}

// A run still going is asked to stop; it ends on its own, without the view.
SensorView::~SensorView() { stopRun(); }

bool SensorView::running() const { return running_; }

void SensorView::build() {
    const bool hasTemperature = rv::CharacteristicOfType(setup_.typeCode).has_value();
    auto* layout = new QVBoxLayout(this);

    auto* sensor = new QLabel(this);
    sensor->setObjectName("SensorLabel");
    QString sensorText = u("Канал %1:%2, R0 = %3 Ом")
                             .arg(channelIndex_ + 1)
                             .arg(setup_.typeCode >= 0 && setup_.typeCode < rv::kSensorTypeCount
                                      ? u(rv::kSensorTypes[setup_.typeCode].text)
                                      : QString())
                             .arg(number(setup_.r0, 3));
    if (setup_.twoWire)
        sensorText += u(", двухпроводная, Rлинии = %1 Ом").arg(number(setup_.lineResistance, 3));
    sensor->setText(sensorText);
    layout->addWidget(sensor);

    auto* top = new QHBoxLayout;
    QFont large = font();
    large.setPixelSize(34);
    large.setBold(true);
    currentR_ = new QLabel(u("— Ом"), this);
    currentR_->setObjectName("CurrentR");
    currentR_->setFont(large);
    currentR_->setMinimumWidth(240);
    top->addWidget(currentR_);
    currentT_ = new QLabel(hasTemperature ? u("— °C") : QString(), this);
    currentT_->setObjectName("CurrentT");
    currentT_->setFont(large);
    currentT_->setMinimumWidth(220);
    top->addWidget(currentT_);
    // The statistics as a grid of plain labels: a rich-text table laid out again every
    // second cost the window's thread more than the plot.
    auto* figures = new QWidget(this);
    figures->setObjectName("Statistics");
    auto* grid = new QGridLayout(figures);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(1);
    const char* const rowNames[kFigureRows] = {"",     "среднее",     "СКО",   "мин",
                                               "макс", "дрейф, /мин", "точек", "сбоев"};
    const int valueWidth = fontMetrics().horizontalAdvance(u("\u22120000.0000"));
    for (int row = 0; row < kFigureRows; ++row) {
        for (int column = 0; column < 3; ++column) {
            auto* cell = new QLabel(figures);
            if (column == 0) {
                cell->setText(u(rowNames[row]));
            } else {
                cell->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                cell->setMinimumWidth(valueWidth);
            }
            grid->addWidget(cell, row, column);
            figureCells_[row][column] = cell;
        }
    }
    QFont bold = font();
    bold.setBold(true);
    figureCells_[0][1]->setFont(bold);
    figureCells_[0][1]->setText(u("R, Ом"));
    figureCells_[0][2]->setFont(bold);
    figureCells_[0][2]->setText(u("T, °C"));
    grid->setColumnStretch(3, 1);
    top->addWidget(figures, 1);
    stableLabel_ = new QLabel(u("Стабильно"), this);
    stableLabel_->setObjectName("StableIndicator");
    QFont stableFont = font();
    stableFont.setPixelSize(18);
    stableFont.setBold(true);
    stableLabel_->setFont(stableFont);
    stableLabel_->setStyleSheet("QLabel { color: white; background: #2e7d32; padding: 6px; }");
    // Its place is kept while hidden, so the window does not grow when it appears.
    QSizePolicy keepPlace = stableLabel_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    stableLabel_->setSizePolicy(keepPlace);
    stableLabel_->setVisible(false);
    top->addWidget(stableLabel_);
    layout->addLayout(top);

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    rLine_ = new QLineSeries(chart_);
    rLine_->setName(u("R, Ом"));
    rLine_->setUseOpenGL(false);
    tLine_ = new QLineSeries(chart_);
    tLine_->setName(u("T, °C"));
    marks_ = new QScatterSeries(chart_);
    marks_->setName(u("сбой"));
    marks_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    marks_->setMarkerSize(7);
    marks_->setColor(Qt::red);
    chart_->addSeries(rLine_);
    if (hasTemperature) chart_->addSeries(tLine_);
    chart_->addSeries(marks_);
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setFormat("hh:mm:ss");
    timeAxis_->setTitleText(u("время"));
    rAxis_ = new QValueAxis(chart_);
    rAxis_->setTitleText(u("R, Ом"));
    rAxis_->setLabelFormat("%.3f");
    tAxis_ = new QValueAxis(chart_);
    tAxis_->setTitleText(u("T, °C"));
    tAxis_->setLabelFormat("%.2f");
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(rAxis_, Qt::AlignLeft);
    rLine_->attachAxis(timeAxis_);
    rLine_->attachAxis(rAxis_);
    marks_->attachAxis(timeAxis_);
    marks_->attachAxis(rAxis_);
    if (hasTemperature) {
        chart_->addAxis(tAxis_, Qt::AlignRight);
        tLine_->attachAxis(timeAxis_);
        tLine_->attachAxis(tAxis_);
    }
    chartView_ = new QChartView(chart_, this);
    chartView_->setObjectName("SensorChart");
    chartView_->setRenderHint(QPainter::Antialiasing, false);
    chartView_->setMinimumSize(760, 360);
    layout->addWidget(chartView_, 1);

    auto* controls = new QHBoxLayout;
    start_ = new QPushButton(u("Пуск"), this);
    start_->setObjectName("BtnStart");
    stop_ = new QPushButton(u("Стоп"), this);
    stop_->setObjectName("BtnStop");
    controls->addWidget(start_);
    controls->addWidget(stop_);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(u("Показать:"), this));
    spanBox_ = new QComboBox(this);
    spanBox_->setObjectName("SpanBox");
    spanBox_->addItems({u("1 мин"), u("5 мин"), u("30 мин"), u("всё")});
    spanBox_->setCurrentIndex(static_cast<int>(span_));
    controls->addWidget(spanBox_);
    controls->addSpacing(12);
    const QString unit = hasTemperature ? u("°C") : u("Ом");
    controls->addWidget(new QLabel(u("Стабильно, если 30 с дрейф ≤"), this));
    driftLimit_ = new QDoubleSpinBox(this);
    driftLimit_->setObjectName("DriftLimit");
    driftLimit_->setDecimals(3);
    driftLimit_->setRange(0.001, 100);
    driftLimit_->setSingleStep(0.01);
    driftLimit_->setValue(rv::StabilityLimits{}.drift);
    driftLimit_->setSuffix(" " + unit + u("/мин"));
    controls->addWidget(driftLimit_);
    controls->addWidget(new QLabel(u("и СКО ≤"), this));
    spreadLimit_ = new QDoubleSpinBox(this);
    spreadLimit_->setObjectName("SpreadLimit");
    spreadLimit_->setDecimals(3);
    spreadLimit_->setRange(0.001, 100);
    spreadLimit_->setSingleStep(0.01);
    spreadLimit_->setValue(rv::StabilityLimits{}.spread);
    spreadLimit_->setSuffix(" " + unit);
    controls->addWidget(spreadLimit_);
    controls->addStretch(1);
    layout->addLayout(controls);

    auto* actions = new QHBoxLayout;
    save_ = new QPushButton(u("Сохранить CSV…"), this);
    save_->setObjectName("BtnSaveCsv");
    acceptR0_ = new QPushButton(u("Принять как R0"), this);
    acceptR0_->setObjectName("BtnAcceptR0");
    acceptLine_ = new QPushButton(u("Принять как Rлинии"), this);
    acceptLine_->setObjectName("BtnAcceptLine");
    actions->addWidget(save_);
    actions->addStretch(1);
    actions->addWidget(acceptR0_);
    actions->addWidget(acceptLine_);
    layout->addLayout(actions);

    status_ = new QLabel(this);
    status_->setObjectName("SensorStatus");
    layout->addWidget(status_);

    connect(start_, &QPushButton::clicked, this, &SensorView::startRun);
    connect(stop_, &QPushButton::clicked, this, &SensorView::stopRun);
    connect(save_, &QPushButton::clicked, this, &SensorView::saveCsv);
    connect(acceptR0_, &QPushButton::clicked, this, &SensorView::acceptAsR0);
    connect(acceptLine_, &QPushButton::clicked, this, &SensorView::acceptAsLine);
    connect(spanBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { setSpan(static_cast<Span>(index)); });
    const auto limitsChanged = [this] { refresh(); };
    connect(driftLimit_, &QDoubleSpinBox::valueChanged, this, limitsChanged);
    connect(spreadLimit_, &QDoubleSpinBox::valueChanged, this, limitsChanged);
}

void SensorView::showState() {
    const bool run = running();
    start_->setEnabled(!run && !(host_.line && host_.line->busy()));
    stop_->setEnabled(run);
    const bool any = !series_.empty();
    save_->setEnabled(!run && any);
    // The image belongs to the main window, which a run holds disabled.
    acceptR0_->setEnabled(!run && statistics_.count > 0);
    acceptLine_->setEnabled(!run && statistics_.count > 0);
}

void SensorView::startRun() {
    if (running() || host_.line == nullptr) return;
    if (!host_.line->available(this)) return;
    if (host_.setup) setup_ = host_.setup();
    const rv::WatchSetup setup = setup_;
    const std::shared_ptr<Gathered> gathered = gathered_;
    const bool started = host_.line->start(
        {LineTask::Watch, false, {}}, this,
        [setup, gathered](LineUse& use) {
            const auto answer = [&gathered](const rv::WatchAnswer& a) {
                const std::lock_guard<std::mutex> lock(gathered->mutex);
                gathered->answers.push_back(a);
            };
            // The cancel request of "Стоп" or of closing ends the watch; nothing else does.
            const auto goOn = [] { return true; };
            return rv::WatchSensor(use.link(), setup, answer, goOn);
        },
        [this](const LineResult& result) { runEnded(result.outcome, result.status); });
    if (!started) return;
    running_ = true;
    series_.clear();
    marks_->clear();
    status_->setText(u("Измерение…"));
    redraw_->start();
    dirty_ = true;
    refresh();
    showState();
}

void SensorView::stopRun() {
    // Wakes a request waiting for its answer at once.
    if (running()) host_.line->cancel();
}

void SensorView::takeAnswer(const rv::WatchAnswer& answer) {
    series_.add(answer.point);
    if (answer.point.kind != rv::PointKind::Reading) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(answer.point.seconds * 1000))
                .toString("hh:mm:ss");
        status_->setText(time + "  " + QString::fromStdString(answer.note));
        // A mark sits on the resistance line where the last reading left it.
        double at = rAxis_->min();
        for (size_t i = series_.size(); i-- > 0;) {
            if (series_[i].kind == rv::PointKind::Reading) {
                at = series_[i].resistance;
                break;
            }
        }
        marks_->append(answer.point.seconds * 1000, at);
    }
    dirty_ = true;
}

void SensorView::takeGathered() {
    std::vector<rv::WatchAnswer> answers;
    {
        const std::lock_guard<std::mutex> lock(gathered_->mutex);
        answers.swap(gathered_->answers);
    }
    for (const rv::WatchAnswer& a : answers) takeAnswer(a);
}

void SensorView::runEnded(rv::Outcome outcome, int status) {
    running_ = false;
    redraw_->stop();
    takeGathered();
    if (outcome == rv::Outcome::Failed && status != rv::status::kOk) {
        status_->setText(u("Остановлено: ") +
                         QString::fromStdString(rv::StatusText(static_cast<uint32_t>(status))));
    } else {
        status_->setText(u("Остановлено"));
    }
    refresh();
    showState();
    emit runFinished();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

double SensorView::spanSeconds() const {
    switch (span_) {
        case Span::OneMinute:
            return 60;
        case Span::FiveMinutes:
            return 300;
        case Span::ThirtyMinutes:
            return 1800;
        case Span::Everything:
            break;
    }
    return 0;
}

size_t SensorView::spanStart() const {
    if (series_.empty() || spanSeconds() == 0) return 0;
    return series_.firstAtOrAfter(series_.back().seconds - spanSeconds());
}

void SensorView::setSpan(Span span) {
    span_ = span;
    if (spanBox_->currentIndex() != static_cast<int>(span))
        spanBox_->setCurrentIndex(static_cast<int>(span));
    refresh();
}

void SensorView::refresh() {
    dirty_ = false;
    const size_t first = spanStart();
    const size_t last = series_.size();
    const QList<QPointF> r =
        plotPoints(rv::Decimate(series_, first, last, rv::SeriesValue::Resistance, kPlotBuckets));
    const QList<QPointF> t =
        plotPoints(rv::Decimate(series_, first, last, rv::SeriesValue::Temperature, kPlotBuckets));
    rLine_->replace(r);
    tLine_->replace(t);
    // Marks that have scrolled out of the span go.
    if (!series_.empty()) {
        const double from = series_[first].seconds * 1000;
        while (marks_->count() > 0 && marks_->at(0).x() < from) marks_->remove(0);
        const double to = series_.back().seconds * 1000;
        const double width = spanSeconds() > 0 ? spanSeconds() * 1000 : std::max(to - from, 1000.0);
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to - width)),
                            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to) + 1));
    }
    fitAxis(rAxis_, r, 0.02);
    fitAxis(tAxis_, t, 0.05);

    statistics_ = rv::StatisticsOf(series_, first, last);
    rv::StabilityLimits limits;
    limits.drift = driftLimit_->value();
    limits.spread = spreadLimit_->value();
    stable_ = rv::IsStable(series_, limits);
    stableLabel_->setVisible(stable_);
    showStatistics();
    showState();
}

void SensorView::showCurrent() {
    for (size_t i = series_.size(); i-- > 0;) {
        const rv::SensorPoint& p = series_[i];
        if (p.kind != rv::PointKind::Reading) continue;
        currentR_->setText(number(p.resistance, 3) + u(" Ом"));
        if (p.hasTemperature()) currentT_->setText(number(p.temperature, 2) + u(" °C"));
        break;
    }
}

void SensorView::showStatistics() {
    showCurrent();
    const rv::SpanStatistics& s = statistics_;
    const bool temperature = s.temperature.has_value();
    const rv::QuantityStatistics rs = s.resistance;
    const rv::QuantityStatistics ts = s.temperature.value_or(rv::QuantityStatistics{});
    const double values[][2] = {{rs.mean, ts.mean},
                                {rs.deviation, ts.deviation},
                                {rs.minimum, ts.minimum},
                                {rs.maximum, ts.maximum},
                                {rs.driftPerMinute, ts.driftPerMinute}};
    for (int row = 1; row <= 5; ++row) {
        figureCells_[row][1]->setText(s.count > 0 ? number(values[row - 1][0], 4) : u("—"));
        figureCells_[row][2]->setText(number(values[row - 1][1], 3));
    }
    figureCells_[6][1]->setText(QString::number(s.count));
    figureCells_[7][1]->setText(QString::number(s.marks));
    for (int row = 0; row < kFigureRows; ++row) {
        const bool shown = row != 7 || s.marks > 0;
        for (int column = 0; column < 3; ++column)
            figureCells_[row][column]->setVisible(shown &&
                                                  (column < 2 || (temperature && row < 6)));
    }
}

void SensorView::saveCsv() {
    if (running() || series_.empty()) return;
    const QString suggested =
        u("канал%1_%2.csv")
            .arg(channelIndex_ + 1)
            .arg(QDateTime::currentDateTime().toString("yyyy-MM-dd_hh-mm-ss"));
    const QString path = chooseCsvPath(suggested);
    if (path.isEmpty()) return;
    std::string error;
    if (!rv::SaveSensorCsv(path.toStdString(), series_, error)) {
        if (host_.boxes) host_.boxes->error(this, QString::fromStdString(error));
        return;
    }
    status_->setText(u("Сохранено: ") + path);
}

bool SensorView::confirmAccept(const QString& field, double& mean) {
    if (running() || statistics_.count == 0 || host_.boxes == nullptr) return false;
    mean = statistics_.resistance.mean;
    const QString text =
        u("Записать в %1 канала %2 среднее сопротивление за показанный промежуток, %3 Ом "
          "(%4 точек)?\nВ прибор значение попадёт при записи конфигурации.")
            .arg(field)
            .arg(channelIndex_ + 1)
            .arg(number(mean, 5))
            .arg(statistics_.count);
    return host_.boxes->confirmYesNo(this, text);
}

void SensorView::acceptAsR0() {
    double mean = 0;
    if (!confirmAccept(u("R0"), mean)) return;
    if (host_.acceptR0) host_.acceptR0(mean);
    status_->setText(u("R0 канала %1 изменено").arg(channelIndex_ + 1));
}

void SensorView::acceptAsLine() {
    if (host_.setup) setup_ = host_.setup();
    if (!setup_.twoWire) {
        if (host_.boxes) host_.boxes->information(this, u(rv::kOnlyTwoWireScheme));
        return;
    }
    double mean = 0;
    if (!confirmAccept(u("Rлинии"), mean)) return;
    if (host_.acceptLine) host_.acceptLine(mean);
    status_->setText(u("Rлинии канала %1 изменено").arg(channelIndex_ + 1));
}

void SensorView::closeEvent(QCloseEvent* event) {
    if (running()) {
        closeAfterRun_ = true;
        stopRun();
        event->ignore();
        return;
    }
    event->accept();
}
