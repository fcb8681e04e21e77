#include "ui/history_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "line/line_jobs.h"
#include "line/line_table.h"
#include "ui/difference_table.h"

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

QString versionName(const rv::StoredVersion& v) {
    return QString::fromUtf8("%1 от %2")
        .arg(v.number)
        .arg(text(rv::LocalTimeOfStamp(v.file.SavedAt)));
}

}  // namespace

HistoryWindow::HistoryWindow(const rv::LineInstrument& instrument, rv::InstrumentHistory history,
                             QWidget* parent)
    : QDialog(parent), history_(std::move(history)) {
    setObjectName("HistoryWindow");
    QString title = QString::fromUtf8("История прибора %1").arg(instrument.NetNumber);
    if (!instrument.Model.empty()) {
        title += QString(" (%1 %2)").arg(text(instrument.Model), text(rv::IdText(instrument.Id)));
    }
    if (!instrument.Tag.empty()) title += QString::fromUtf8(", «%1»").arg(text(instrument.Tag));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);

    versions_ = new QTableWidget(static_cast<int>(history_.versions.size()), 5, this);
    versions_->setObjectName("HistoryVersions");
    versions_->setHorizontalHeaderLabels(
        {QString::fromUtf8("Версия"), QString::fromUtf8("Сохранена"), QString::fromUtf8("Номер"),
         QString::fromUtf8("Скорость, бод"), QString::fromUtf8("Изменения")});
    versions_->verticalHeader()->hide();
    versions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    versions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    versions_->setSelectionMode(QAbstractItemView::SingleSelection);
    first_ = new QComboBox(this);
    first_->setObjectName("HistoryFirst");
    second_ = new QComboBox(this);
    second_->setObjectName("HistorySecond");
    for (size_t i = 0; i < history_.versions.size(); ++i) {
        const rv::StoredVersion& v = history_.versions[i];
        const QString changes =
            i == 0 ? QString::fromUtf8("первая копия")
                   : text(rv::DifferenceCountText(
                         rv::VersionDifferences(history_.versions[i - 1].file, v.file).size()));
        const QString cells[] = {QString::number(v.number),
                                 text(rv::LocalTimeOfStamp(v.file.SavedAt)),
                                 QString::number(v.file.Instrument.NetNumber),
                                 QString::number(v.file.Instrument.BaudRate), changes};
        for (int c = 0; c < 5; ++c)
            versions_->setItem(static_cast<int>(i), c, new QTableWidgetItem(cells[c]));
        first_->addItem(versionName(v));
        second_->addItem(versionName(v));
    }
    versions_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    versions_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(versions_);

    auto* compareRow = new QHBoxLayout;
    compareRow->addWidget(new QLabel(QString::fromUtf8("Сравнить версию"), this));
    compareRow->addWidget(first_);
    compareRow->addWidget(new QLabel(QString::fromUtf8("с версией"), this));
    compareRow->addWidget(second_);
    compare_ = new QPushButton(QString::fromUtf8("Сравнить"), this);
    compare_->setObjectName("HistoryCompare");
    compare_->setEnabled(history_.versions.size() > 1);
    compareRow->addWidget(compare_);
    compareRow->addStretch();
    layout->addLayout(compareRow);

    caption_ = new QLabel(this);
    caption_->setObjectName("HistoryCaption");
    layout->addWidget(caption_);
    changes_ = new QTableWidget(this);
    changes_->setObjectName("HistoryChanges");
    layout->addWidget(changes_);

    problems_ = new QLabel(this);
    problems_->setObjectName("HistoryProblems");
    problems_->setWordWrap(true);
    QStringList problems;
    for (const std::string& p : history_.problems) problems << text(p);
    problems_->setText(problems.isEmpty()
                           ? QString()
                           : QString::fromUtf8("Не прочитаны:\n") + problems.join('\n'));
    problems_->setVisible(!problems.isEmpty());
    layout->addWidget(problems_);

    connect(versions_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { showVersion(row); });
    connect(compare_, &QPushButton::clicked, this, &HistoryWindow::compareChosen);
    if (history_.versions.empty()) {
        caption_->setText(QString::fromUtf8("Копий нет"));
    } else {
        const int last = static_cast<int>(history_.versions.size()) - 1;
        second_->setCurrentIndex(last);
        first_->setCurrentIndex(last > 0 ? last - 1 : 0);
        versions_->setCurrentCell(last, 0);
    }
    resize(760, 560);
}

void HistoryWindow::showVersion(int row) {
    if (row < 0 || row >= static_cast<int>(history_.versions.size())) return;
    const rv::StoredVersion& v = history_.versions[static_cast<size_t>(row)];
    if (row == 0) {
        caption_->setText(QString::fromUtf8("Версия %1 — первая копия").arg(v.number));
        ShowDifferences(changes_, {}, QString::fromUtf8("Было"), QString::fromUtf8("Стало"));
        return;
    }
    const rv::StoredVersion& before = history_.versions[static_cast<size_t>(row) - 1];
    const auto differences = rv::VersionDifferences(before.file, v.file);
    caption_->setText(QString::fromUtf8("Версия %1 против версии %2: %3")
                          .arg(v.number)
                          .arg(before.number)
                          .arg(text(rv::DifferenceCountText(differences.size()))));
    ShowDifferences(changes_, differences, QString::fromUtf8("Было"), QString::fromUtf8("Стало"));
}

void HistoryWindow::compareChosen() {
    const int a = first_->currentIndex();
    const int b = second_->currentIndex();
    if (a < 0 || b < 0) return;
    const rv::StoredVersion& left = history_.versions[static_cast<size_t>(a)];
    const rv::StoredVersion& right = history_.versions[static_cast<size_t>(b)];
    const auto differences = rv::VersionDifferences(left.file, right.file);
    caption_->setText(
        QString::fromUtf8("Версия %1 и версия %2: %3")
            .arg(left.number)
            .arg(right.number)
            .arg(text(differences.empty() ? std::string("различий нет")
                                          : rv::DifferenceCountText(differences.size()))));
    ShowDifferences(changes_, differences, QString::fromUtf8("Версия %1").arg(left.number),
                    QString::fromUtf8("Версия %1").arg(right.number));
}
