#include "ui/line_table_model.h"

#include <QDate>

namespace {

using rv::LineColumn;

int columnOf(LineColumn column) { return static_cast<int>(column); }

// Not compared first, then no copy, the same as the copy, then by the number of differences.
qlonglong matchOrder(const rv::LineRow& row) {
    switch (row.match) {
        case rv::LineRow::CopyMatch::Unknown:
            return -1;
        case rv::LineRow::CopyMatch::NoCopy:
            return 0;
        case rv::LineRow::CopyMatch::Same:
        case rv::LineRow::CopyMatch::Unchanged:
            return 1;
        case rv::LineRow::CopyMatch::Differs:
            return 2 + static_cast<qlonglong>(row.differences);
    }
    return -1;
}

QVariant sortValue(const rv::LineRow& row, LineColumn column, const QString& text) {
    switch (column) {
        case LineColumn::Number:
            return row.instrument.NetNumber;
        case LineColumn::Speed:
            return row.instrument.BaudRate;
        case LineColumn::Id:
            return row.instrument.Id;
        case LineColumn::LastCopy: {
            const QDate date = QDate::fromString(text, "dd.MM.yyyy");
            return date.isValid() ? date.toString("yyyyMMdd") : QString();
        }
        case LineColumn::AsInCopy:
            return matchOrder(row);
        default:
            return text.toLower();
    }
}

}  // namespace

LineTableModel::LineTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void LineTableModel::setRows(std::vector<rv::LineRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void LineTableModel::takeFound(const rv::FoundInstrument& found) {
    const size_t before = rows_.size();
    std::vector<rv::LineRow> rows = rows_;
    const size_t index = rv::TakeFound(rows, found);
    if (rows.size() > before) {
        beginInsertRows({}, static_cast<int>(before), static_cast<int>(rows.size()) - 1);
        rows_ = std::move(rows);
        endInsertRows();
    } else {
        rows_ = std::move(rows);
        rowChanged(index);
    }
}

void LineTableModel::finishSearch(const rv::SpeedSearchResult& search) {
    beginResetModel();
    rv::MarkUnanswered(rows_, search);
    endResetModel();
}

void LineTableModel::takeResult(const rv::InstrumentResult& result, rv::JobKind kind) {
    rv::TakeResult(rows_, result, kind);
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].instrument.NetNumber == result.instrument.NetNumber) rowChanged(i);
    }
}

void LineTableModel::rowChanged(size_t row) {
    const int r = static_cast<int>(row);
    emit dataChanged(index(r, 0), index(r, columnCount() - 1));
}

int LineTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LineTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rv::kLineColumnCount);
}

QVariant LineTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const rv::LineRow& row = rows_[static_cast<size_t>(index.row())];
    const auto column = static_cast<LineColumn>(index.column());
    const QString text =
        QString::fromStdString(rv::RowTexts(row)[static_cast<size_t>(index.column())]);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text;
        case kSortRole:
            return sortValue(row, column, text);
        case Qt::TextAlignmentRole:
            return column == LineColumn::Number || column == LineColumn::Speed
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant();
        default:
            return {};
    }
}

QVariant LineTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount()) {
        return {};
    }
    return QString::fromUtf8(rv::LineColumnTitles()[static_cast<size_t>(section)]);
}

Qt::ItemFlags LineTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == columnOf(LineColumn::Tag)) flags |= Qt::ItemIsEditable;
    return flags;
}

bool LineTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != columnOf(LineColumn::Tag))
        return false;
    QString tag = value.toString().trimmed();
    tag.truncate(static_cast<int>(rv::kLongestTag));
    rv::LineRow& row = rows_[static_cast<size_t>(index.row())];
    if (row.instrument.Tag == tag.toStdString()) return false;
    row.instrument.Tag = tag.toStdString();
    emit dataChanged(index, index);
    emit tagEdited(index.row());
    return true;
}

LineFilterModel::LineFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(LineTableModel::kSortRole);
}

void LineFilterModel::setFilterText(const QString& text) {
    text_ = text.trimmed();
    invalidateFilter();
}

bool LineFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (text_.isEmpty()) return true;
    const auto* model = qobject_cast<const LineTableModel*>(sourceModel());
    if (model == nullptr || sourceParent.isValid()) return true;
    const rv::LineRow& row = model->rowAt(sourceRow);
    bool number = false;
    const uint net = text_.toUInt(&number);
    if (number) return row.instrument.NetNumber == net;
    return QString::fromStdString(row.instrument.Tag).contains(text_, Qt::CaseInsensitive);
}
