#include "ui/difference_window.h"

#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/difference_table.h"

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

    table_ = new QTableWidget(this);
    table_->setObjectName("DifferenceTable");
    ShowDifferences(table_, differences, QString::fromUtf8("В окне"), otherColumn);
    table_->setVisible(!differences.empty());
    layout->addWidget(table_);
    resize(640, differences.empty() ? 80 : 420);
}
