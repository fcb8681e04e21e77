#pragma once

#include <QColor>
#include <QLine>
#include <QRect>
#include <QWidget>
#include <vector>

#include "channel/sensor_series.h"

class QPainter;

// The plot of the sensor view, drawn by hand: the resistance in the upper pane and the
// temperature in the lower one, sharing the time axis, each with its own axis at round ticks
// and its unit, a grid, a legend, the marks of errors and lost answers on the resistance line,
// and the stability window shaded across both panes. Each line is drawn from the first, lowest,
// highest and last reading of every pixel column, so a redraw costs the same for a thousand
// points as for a day of them; the points themselves stay in the series, which the plot only
// reads.
class SensorPlot : public QWidget {
    Q_OBJECT
  public:
    static const QColor kResistanceColour;
    static const QColor kTemperatureColour;
    static const QColor kMarkColour;
    static const QColor kStableShade;
    static const QColor kUnsettledShade;

    SensorPlot(const rv::SensorSeries& series, QWidget* parent = nullptr);

    // Whether the temperature pane is there (types with a characteristic).
    void setTemperatureShown(bool shown);
    // The time shown, in the points' seconds, and the run's start, from which the time axis
    // counts.
    void setTimeRange(double runStart, double from, double to);
    // The stability window, shaded green when the sensor is stable over it, sand otherwise.
    void setStabilityWindow(double from, double to, bool stable);
    void clearStabilityWindow();

    // Paints the plot into `area` of any device: the widget's own paint and the benchmark's.
    void paint(QPainter& painter, const QRect& area);

    // Where the last paint put its texts (tick labels, axis titles, legend), so a test can see
    // that none is cut or drawn over another; and its panes.
    const std::vector<QRect>& textBoxes() const { return textBoxes_; }
    const std::vector<QRect>& panes() const { return panes_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Pane;
    void drawText(QPainter& painter, const QRect& box, int flags, const QString& text);
    void drawLegend(QPainter& painter, const QRect& row);
    void drawLine(QPainter& painter, const Pane& pane, const std::vector<rv::ColumnValues>& values,
                  uint8_t kind);
    void drawMarks(QPainter& painter, const Pane& pane);

    const rv::SensorSeries& series_;
    bool temperatureShown_ = true;
    double runStart_ = 0;
    double from_ = 0;
    double to_ = 60;
    bool windowShown_ = false;
    double windowFrom_ = 0;
    double windowTo_ = 0;
    bool stable_ = false;

    // Reused from paint to paint, so a redraw allocates nothing once the size is set.
    rv::PlotColumns columns_;
    std::vector<QRect> bars_;
    std::vector<QLine> gaps_;
    int leftMargin_ = 0;  // of the last paint, tried first
    std::vector<QRect> textBoxes_;
    std::vector<QRect> panes_;
};
