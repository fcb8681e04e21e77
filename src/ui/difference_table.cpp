#include "ui/difference_table.h"

#include <QHeaderView>
#include <QTableWidget>

void ShowDifferences(QTableWidget* table, const std::vector<rv::FieldDifference>& differences,
                     const QString& left, const QString& right) {
    table->clear();
    table->setColumnCount(4);
    table->setRowCount(static_cast<int>(differences.size()));
    table->setHorizontalHeaderLabels(
        {QString::fromUtf8("Канал"), QString::fromUtf8("Параметр"), left, right});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (size_t row = 0; row < differences.size(); ++row) {
        const rv::FieldDifference& d = differences[row];
        const QString channel =
            d.channel == 0 ? QString::fromUtf8("—") : QString::number(d.channel);
        const QString cells[] = {channel, QString::fromStdString(d.field),
                                 QString::fromStdString(d.left), QString::fromStdString(d.right)};
        for (int column = 0; column < 4; ++column)
            table->setItem(static_cast<int>(row), column, new QTableWidgetItem(cells[column]));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}
