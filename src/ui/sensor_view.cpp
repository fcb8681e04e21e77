#include "ui/sensor_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSizePolicy>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <utility>

#include "channel/calibration.h"
#include "channel/fixed_text.h"
#include "channel/sensors.h"
#include "configfile/sensor_csv.h"
#include "link/link.h"
#include "link/status.h"
#include "ui/line_owner.h"
#include "ui/message_boxes.h"
#include "ui/sensor_accept.h"
#include "ui/sensor_figures.h"
#include "ui/sensor_plot.h"

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

// The current values are shown this often; the answers come faster.
constexpr int kRedrawMs = 1000;
// The plot and the statistics are redrawn every this many showings.
constexpr int kPlotEvery = 2;
// The shortest time axis of "всё", so the first readings do not fill the plot edge to edge.
constexpr double kLeastShownSeconds = 60;

QString number(double value, int decimals) {
    return QString::fromStdString(rv::FixedText(value, decimals))
        .replace(QLatin1Char('-'), QChar(0x2212));
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

    heading_ = new QLabel(this);
    heading_->setObjectName("SensorLabel");
    layout->addWidget(heading_);

    auto* top = new QHBoxLayout;
    QFont large = font();
    large.setPixelSize(30);
    large.setBold(true);
    auto* current = new QVBoxLayout;
    currentR_ = new QLabel(u("— Ом"), this);
    currentR_->setObjectName("CurrentR");
    currentR_->setFont(large);
    currentR_->setMinimumWidth(QFontMetrics(large).horizontalAdvance(u("\u22120000.000 Ом")));
    currentR_->setStyleSheet(
        QString("QLabel { color: %1; }").arg(SensorPlot::kResistanceColour.name()));
    current->addWidget(currentR_);
    currentT_ = new QLabel(hasTemperature ? u("— °C") : QString(), this);
    currentT_->setObjectName("CurrentT");
    currentT_->setFont(large);
    currentT_->setStyleSheet(
        QString("QLabel { color: %1; }").arg(SensorPlot::kTemperatureColour.name()));
    current->addWidget(currentT_);
    current->addStretch(1);
    top->addLayout(current);
    top->addSpacing(12);
    figures_ = new SensorFigures(this);
    figures_->setTemperatureShown(hasTemperature);
    top->addWidget(figures_, 1);
    stableLabel_ = new QLabel(u("Стабильно"), this);
    stableLabel_->setObjectName("StableIndicator");
    QFont stableFont = font();
    stableFont.setPixelSize(18);
    stableFont.setBold(true);
    stableLabel_->setFont(stableFont);
    stableLabel_->setStyleSheet("QLabel { color: white; background: #2e7d32; padding: 6px; }");
    stableLabel_->setAlignment(Qt::AlignCenter);
    // Its place is kept while hidden, so the window does not grow when it appears.
    QSizePolicy keepPlace = stableLabel_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    stableLabel_->setSizePolicy(keepPlace);
    stableLabel_->setVisible(false);
    top->addWidget(stableLabel_, 0, Qt::AlignTop);
    layout->addLayout(top);

    plot_ = new SensorPlot(series_, this);
    plot_->setTemperatureShown(hasTemperature);
    layout->addWidget(plot_, 1);

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
    const rv::StabilityLimits defaults;
    controls->addWidget(new QLabel(u("Стабильно, если за"), this));
    holdSeconds_ = new QSpinBox(this);
    holdSeconds_->setObjectName("HoldSeconds");
    holdSeconds_->setRange(2, 600);
    holdSeconds_->setValue(static_cast<int>(defaults.holdSeconds));
    holdSeconds_->setSuffix(u(" с"));
    controls->addWidget(holdSeconds_);
    controls->addWidget(new QLabel(u("дрейф ≤"), this));
    driftLimit_ = new QDoubleSpinBox(this);
    driftLimit_->setObjectName("DriftLimit");
    driftLimit_->setDecimals(3);
    driftLimit_->setRange(0.001, 100);
    driftLimit_->setSingleStep(0.01);
    driftLimit_->setValue(defaults.drift);
    driftLimit_->setSuffix(" " + unit + u("/мин"));
    controls->addWidget(driftLimit_);
    controls->addWidget(new QLabel(u("и СКО ≤"), this));
    spreadLimit_ = new QDoubleSpinBox(this);
    spreadLimit_->setObjectName("SpreadLimit");
    spreadLimit_->setDecimals(3);
    spreadLimit_->setRange(0.001, 100);
    spreadLimit_->setSingleStep(0.01);
    spreadLimit_->setValue(defaults.spread);
    spreadLimit_->setSuffix(" " + unit);
    controls->addWidget(spreadLimit_);
    controls->addStretch(1);
    layout->addLayout(controls);

    auto* actions = new QHBoxLayout;
    save_ = new QPushButton(u("Сохранить CSV…"), this);
    save_->setObjectName("BtnSaveCsv");
    acceptR0_ = new QPushButton(u("Принять как R0"), this);
    acceptR0_->setObjectName("BtnAcceptR0");
    acceptR0_->setToolTip(u("Среднее сопротивление за окно стабильности (выделено на графике)"));
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
    connect(holdSeconds_, &QSpinBox::valueChanged, this, limitsChanged);
    connect(driftLimit_, &QDoubleSpinBox::valueChanged, this, limitsChanged);
    connect(spreadLimit_, &QDoubleSpinBox::valueChanged, this, limitsChanged);
}

void SensorView::showHeading() {
    if (host_.setup && !running()) setup_ = host_.setup();
    QString text = u("Канал %1:%2, R0 = %3 Ом")
                       .arg(channelIndex_ + 1)
                       .arg(setup_.typeCode >= 0 && setup_.typeCode < rv::kSensorTypeCount
                                ? u(rv::kSensorTypes[setup_.typeCode].text)
                                : QString())
                       .arg(number(setup_.r0, 3));
    if (setup_.twoWire)
        text += u(", двухпроводная, Rлинии = %1 Ом").arg(number(setup_.lineResistance, 3));
    heading_->setText(text);
}

void SensorView::showState() {
    const bool run = running();
    showHeading();
    start_->setEnabled(!run && !(host_.line && host_.line->busy()));
    stop_->setEnabled(run);
    const bool any = !series_.empty();
    save_->setEnabled(!run && any);
    // The image belongs to the main window, which a run holds disabled.
    const bool value = !run && settled_.grounds != rv::SettledValue::Grounds::Nothing;
    acceptR0_->setEnabled(value);
    // The line's resistance means something in the two-wire scheme only.
    acceptLine_->setEnabled(value && setup_.twoWire);
    acceptLine_->setToolTip(setup_.twoWire ? acceptR0_->toolTip() : u(rv::kOnlyTwoWireScheme));
}

void SensorView::startRun() {
    if (running() || host_.line == nullptr) return;
    if (!host_.line->available(this)) return;
    if (host_.setup) setup_ = host_.setup();
    const rv::WatchSetup setup = setup_;
    const std::shared_ptr<Gathered> gathered = gathered_;
    run_ = host_.line->start(
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
    if (!run_) return;
    running_ = true;
    series_.clear();
    status_->setText(u("Измерение…"));
    redraw_->start();
    dirty_ = true;
    refresh();
    showState();
}

void SensorView::stopRun() {
    // Wakes a request waiting for its answer at once.
    if (running()) run_.cancel();
}

void SensorView::takeAnswer(const rv::WatchAnswer& answer) {
    if (series_.empty()) runStart_ = answer.point.seconds;
    series_.add(answer.point);
    if (answer.point.kind != rv::PointKind::Reading) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(answer.point.seconds * 1000))
                .toString("hh:mm:ss");
        status_->setText(time + "  " + QString::fromStdString(answer.note));
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

std::pair<double, double> SensorView::shownTime() const {
    const double last = series_.empty() ? runStart_ : series_.back().seconds;
    const double span = spanSeconds();
    if (span == 0) return {runStart_, std::max(last, runStart_ + kLeastShownSeconds)};
    if (last - runStart_ <= span) return {runStart_, runStart_ + span};
    return {last - span, last};
}

rv::StabilityLimits SensorView::limits() const {
    rv::StabilityLimits limits;
    limits.drift = driftLimit_->value();
    limits.spread = spreadLimit_->value();
    limits.holdSeconds = holdSeconds_->value();
    return limits;
}

void SensorView::setSpan(Span span) {
    span_ = span;
    if (spanBox_->currentIndex() != static_cast<int>(span))
        spanBox_->setCurrentIndex(static_cast<int>(span));
    refresh();
}

void SensorView::refresh() {
    dirty_ = false;
    const auto [from, to] = shownTime();
    statistics_ = rv::StatisticsOf(series_, series_.firstAtOrAfter(from), series_.size());
    settled_ = rv::SettledValueOf(series_, limits());
    const rv::StabilityWindow& window = settled_.judgement.window;
    plot_->setTimeRange(runStart_, from, to);
    if (series_.empty()) {
        plot_->clearStabilityWindow();
    } else {
        plot_->setStabilityWindow(window.fromSeconds, window.toSeconds, stable());
    }
    stableLabel_->setVisible(stable());
    showCurrent();
    figures_->showFigures(settled_.judgement.statistics,
                          u("окно стабильности, %1 с").arg(holdSeconds_->value()), statistics_,
                          u("показано: %1").arg(spanBox_->currentText()));
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

void SensorView::accept(const QString& field, const std::function<void(double)>& store) {
    if (running() || host_.boxes == nullptr) return;
    // What is asked about is what is stored: the window as it stands now.
    refresh();
    const rv::SettledValue value = settled_;
    if (!ConfirmSettledValue(*host_.boxes, this, field, channelIndex_, value, limits())) return;
    if (store) store(value.resistance);
    status_->setText(u("%1 канала %2 изменено").arg(field).arg(channelIndex_ + 1));
    showState();
}

void SensorView::acceptAsR0() { accept(u("R0"), host_.acceptR0); }

void SensorView::acceptAsLine() {
    if (host_.setup) setup_ = host_.setup();
    if (!setup_.twoWire) {
        if (host_.boxes) host_.boxes->information(this, u(rv::kOnlyTwoWireScheme));
        return;
    }
    accept(u("Rлинии"), host_.acceptLine);
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
