#pragma once

#include <QDialog>
#include <vector>

#include "line/journal.h"
#include "line/line_file.h"

class QComboBox;
class QLabel;
class QTableWidget;

// "Журнал…": the journal of writes, newest first, filtered by instrument; the changes of the
// entry chosen, old against new.
class JournalWindow : public QDialog {
    Q_OBJECT
  public:
    // `instruments` fill the filter; `journal` as ReadJournal gave it.
    JournalWindow(const QString& path, rv::JournalContents journal,
                  std::vector<rv::LineInstrument> instruments, QWidget* parent = nullptr);

    QComboBox* filter() const { return filter_; }
    QTableWidget* entries() const { return entries_; }
    QTableWidget* changes() const { return changes_; }
    QLabel* problems() const { return problems_; }

    // Shows the entries of the instrument at `index` of the filter (0: every instrument).
    void showInstrument(int index);

  private:
    void showEntry(int row);

    rv::JournalContents journal_;
    std::vector<rv::LineInstrument> instruments_;
    std::vector<size_t> shown_;  // the entries in the table, by their index in the journal
    QComboBox* filter_ = nullptr;
    QTableWidget* entries_ = nullptr;
    QTableWidget* changes_ = nullptr;
    QLabel* problems_ = nullptr;
};
