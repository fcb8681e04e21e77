#pragma once

#include <QString>
#include <QWidget>

#include "channel/sensor_statistics.h"

class QGridLayout;
class QLabel;

// The statistics beside the sensor view's plot, in two labelled groups: those of the stability
// window, which "Стабильно" and the buttons that take a value go by, and those of the whole span
// shown. Each group has a resistance column and, for types with a characteristic, a
// temperature column; the rows are mean, deviation, minimum, maximum, drift per minute, count
// and, when there are any, marks.
class SensorFigures : public QWidget {
    Q_OBJECT
  public:
    explicit SensorFigures(QWidget* parent = nullptr);

    void setTemperatureShown(bool shown);
    // `windowTitle` and `spanTitle` head the groups ("окно стабильности, 30 с", "показано: 5 мин").
    void showFigures(const rv::SpanStatistics& window, const QString& windowTitle,
                     const rv::SpanStatistics& span, const QString& spanTitle);

    // The text of a value cell: group 0 the window, 1 the span; quantity 0 R, 1 T; row 0 the
    // mean .. 6 the marks.
    QString cellText(int group, int quantity, int row) const;

    static constexpr int kRows = 7;

  private:
    void showGroup(int group, const rv::SpanStatistics& s);

    bool temperatureShown_ = true;
    QLabel* groupTitles_[2] = {};
    QLabel* quantityTitles_[2][2] = {};
    QLabel* rowNames_[kRows] = {};
    QLabel* cells_[2][2][kRows] = {};
};
