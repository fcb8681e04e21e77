#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <vector>

#include "line/line_jobs.h"
#include "line/line_search.h"
#include "line/line_table.h"

// The rows of the line overview's table: one per instrument, the core's rows and texts, the
// tag editable. Rows sort by the value of a column (numbers as numbers, dates by date).
class LineTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // What a column sorts by: numbers, dates as yyyyMMdd, differences by their count.
    static constexpr int kSortRole = Qt::UserRole + 1;

    explicit LineTableModel(QObject* parent = nullptr);

    void setRows(std::vector<rv::LineRow> rows);
    const std::vector<rv::LineRow>& rows() const { return rows_; }
    const rv::LineRow& rowAt(int row) const { return rows_.at(static_cast<size_t>(row)); }

    // A search found an instrument: its row is updated, or a row is added, as it comes.
    void takeFound(const rv::FoundInstrument& found);
    // A search has ended or stopped: rows it asked for and did not hear are marked, stale
    // rows dropped.
    void finishSearch(const rv::SpeedSearchResult& search);
    // A job's result for one instrument.
    void takeResult(const rv::InstrumentResult& result, rv::JobKind kind);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  signals:
    // The user typed a tag; the line has changed.
    void tagEdited(int row);

  private:
    void rowChanged(size_t row);

    std::vector<rv::LineRow> rows_;
};

// The table as shown: sorted, and filtered by the text typed in the filter box. A text of
// digits finds the instrument of that network number; any other text the rows whose tag
// holds it, in any letter case.
class LineFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit LineFilterModel(QObject* parent = nullptr);
    void setFilterText(const QString& text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    QString text_;
};
