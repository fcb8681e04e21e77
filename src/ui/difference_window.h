#pragma once

#include <QDialog>
#include <vector>

#include "configfile/difference.h"

class QLabel;
class QTableWidget;

// A table of the settings in which the window's configuration and another one differ:
// channel, field, value in the window, value in the other. With no differences it says so.
class DifferenceWindow : public QDialog {
    Q_OBJECT
  public:
    DifferenceWindow(const QString& title, const QString& otherColumn,
                     const std::vector<rv::FieldDifference>& differences);

    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }

  private:
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
};
