#pragma once

#include <QDialog>
#include <vector>

#include "line/line_jobs.h"

class QLabel;
class QTableWidget;

// What a write of one configuration to several instruments would change, instrument by
// instrument, before anything is written: each instrument's heading (its number, model, ID and
// how many settings change, or why it cannot be written) followed by its differences, the
// instrument now against after the write, and the model warning where the model differs.
// "Записать" accepts, "Отмена" rejects.
class WritePreview : public QDialog {
    Q_OBJECT
  public:
    WritePreview(const std::vector<rv::InstrumentResult>& results, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }

  private:
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
};
