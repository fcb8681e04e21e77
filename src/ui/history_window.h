#pragma once

#include <QDialog>

#include "line/history.h"
#include "line/line_file.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// "История…" of an instrument: its copies, version by version, each with what changed
// against the one before in the difference window's words; any two versions compared.
class HistoryWindow : public QDialog {
    Q_OBJECT
  public:
    HistoryWindow(const rv::LineInstrument& instrument, rv::InstrumentHistory history,
                  QWidget* parent = nullptr);

    QTableWidget* versions() const { return versions_; }
    QTableWidget* changes() const { return changes_; }
    QComboBox* firstVersion() const { return first_; }
    QComboBox* secondVersion() const { return second_; }
    QPushButton* compareButton() const { return compare_; }
    QLabel* problems() const { return problems_; }

    // Shows what version `row` of the list changed against the one before.
    void showVersion(int row);
    // Shows the differences of the two versions chosen in the boxes.
    void compareChosen();

  private:
    rv::InstrumentHistory history_;
    QTableWidget* versions_ = nullptr;
    QTableWidget* changes_ = nullptr;
    QLabel* caption_ = nullptr;
    QComboBox* first_ = nullptr;
    QComboBox* second_ = nullptr;
    QPushButton* compare_ = nullptr;
    QLabel* problems_ = nullptr;
};
