#include "ui/difference_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

DifferenceWindow::DifferenceWindow(const QString& title, const QString& otherColumn,
                                   const std::vector<rv::FieldDifference>& differences)
    : QDialog(nullptr) {
    setObjectName("DifferenceWindow");
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);

    summary_ = new QLabel(this);
    summary_->setObjectName("DifferenceSummary");
    summary_->setText(differences.empty()
                          ? QString::fromUtf8("Различий нет.")
                          : QString::fromUtf8("Различий: %1").arg(differences.size()));
    layout->addWidget(summary_);

    table_ = new QTableWidget(static_cast<int>(differences.size()), 4, this);
    table_->setObjectName("DifferenceTable");
    table_->setHorizontalHeaderLabels({QString::fromUtf8("Канал"), QString::fromUtf8("Параметр"),
                                       QString::fromUtf8("В окне"), otherColumn});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (size_t row = 0; row < differences.size(); ++row) {
        const rv::FieldDifference& d = differences[row];
        const QString channel =
            d.channel == 0 ? QString::fromUtf8("—") : QString::number(d.channel);
        const QString cells[] = {channel, QString::fromStdString(d.field),
                                 QString::fromStdString(d.left), QString::fromStdString(d.right)};
        for (int column = 0; column < 4; ++column)
            table_->setItem(static_cast<int>(row), column, new QTableWidgetItem(cells[column]));
    }
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->setVisible(!differences.empty());
    layout->addWidget(table_);
    resize(640, differences.empty() ? 80 : 420);
}
