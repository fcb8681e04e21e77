#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "channel/sensor_series.h"
#include "channel/sensor_statistics.h"
#include "channel/sensor_watch.h"
#include "channel/settled_value.h"
#include "link/exchange.h"
#include "ui/line_owner.h"

class MessageBoxes;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class SensorFigures;
class SensorPlot;

// "Наблюдение за датчиком — канал N": the resistance and temperature of one channel plotted
// as the instrument measures them, with the statistics of the stability window and of the
// shown span, the "Стабильно" indicator, saving as CSV and taking the stability window's mean
// as R0 or as the line's resistance. A run ("Пуск" to "Стоп") is one use of the line, run on
// the worker like every other: the main window is disabled meanwhile, as for any use of the
// line, and the view, in the window's own event loop, takes the answers the worker has
// gathered at each redraw. While the line is busy with another use, "Пуск" is disabled. The
// plot is SensorPlot's, the figures SensorFigures'.
class SensorView : public QWidget {
    Q_OBJECT
  public:
    // How the view reaches the window it belongs to.
    struct Host {
        LineOwner* line = nullptr;
        MessageBoxes* boxes = nullptr;
        // The channel's setup as the window holds it now (R0, RLine, scheme, type).
        std::function<rv::WatchSetup()> setup;
        // Take a value as R0 / as RLine of the channel, as the calibration stores them.
        std::function<void(double)> acceptR0;
        std::function<void(double)> acceptLine;
    };

    // The spans the plot and the statistics cover.
    enum class Span { OneMinute, FiveMinutes, ThirtyMinutes, Everything };

    SensorView(int channelIndex, Host host);
    ~SensorView() override;

    int channelIndex() const { return channelIndex_; }
    const rv::SensorSeries& series() const { return series_; }
    bool running() const;
    // The statistics of the shown span, as last shown.
    const rv::SpanStatistics& shownStatistics() const { return statistics_; }
    // The stability window's value and verdict, as last shown: what the buttons take.
    const rv::SettledValue& settledValue() const { return settled_; }
    bool stable() const { return settled_.judgement.stable; }
    SensorPlot* plot() const { return plot_; }

    void setSpan(Span span);
    // Redraws the plot and the figures from the points now held.
    void refresh();

    // Where "Сохранить CSV…" asks for its file; an empty answer means the user cancelled.
    std::function<QString(const QString& suggested)> chooseCsvPath;

    void startRun();
    void stopRun();
    void saveCsv();
    void acceptAsR0();
    void acceptAsLine();
    // Adds one answer of the watch to the points, as each comes in.
    void takeAnswer(const rv::WatchAnswer& answer);

  signals:
    // A run has ended, whatever the reason, and the main window is enabled again.
    void runFinished();

  protected:
    // During a run: asks the run to stop, and the view closes once it has ended.
    void closeEvent(QCloseEvent* event) override;

  private:
    // The worker's answers not yet taken, shared with the run, which may outlive the view.
    struct Gathered {
        std::mutex mutex;
        std::vector<rv::WatchAnswer> answers;
    };

    void build();
    void runEnded(rv::Outcome outcome, int status);
    // Adds the answers the worker has gathered since the last time.
    void takeGathered();
    void showState();
    // The heading: the channel, its type, R0 and, in the two-wire scheme, RLine, as the main
    // window holds them now.
    void showHeading();
    double spanSeconds() const;
    // The time the plot shows: from the run's start until the span is full, then the span up
    // to the last point.
    std::pair<double, double> shownTime() const;
    rv::StabilityLimits limits() const;
    // The last reading, large, above the plot.
    void showCurrent();
    // Asks, then stores the stability window's mean through `store`.
    void accept(const QString& field, const std::function<void(double)>& store);

    int channelIndex_;
    Host host_;
    rv::WatchSetup setup_;
    rv::SensorSeries series_;
    double runStart_ = 0;  // the first point's time of this run
    rv::SpanStatistics statistics_;
    rv::SettledValue settled_;
    Span span_ = Span::FiveMinutes;
    bool dirty_ = false;
    int ticks_ = 0;  // of the redraw timer
    bool running_ = false;
    LineTicket run_;  // the run's use of the line
    bool closeAfterRun_ = false;
    // The view takes the answers at its redraw pace rather than being woken for each, which
    // would cost the window's thread more than the redraws do.
    std::shared_ptr<Gathered> gathered_ = std::make_shared<Gathered>();
    QTimer* redraw_ = nullptr;

    QLabel* heading_ = nullptr;
    QLabel* currentR_ = nullptr;
    QLabel* currentT_ = nullptr;
    SensorFigures* figures_ = nullptr;
    QLabel* stableLabel_ = nullptr;
    QLabel* status_ = nullptr;
    QComboBox* spanBox_ = nullptr;
    QSpinBox* holdSeconds_ = nullptr;
    QDoubleSpinBox* driftLimit_ = nullptr;
    QDoubleSpinBox* spreadLimit_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* acceptR0_ = nullptr;
    QPushButton* acceptLine_ = nullptr;
    SensorPlot* plot_ = nullptr;
};
