#include "ui/journal_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "line/history.h"
#include "line/line_table.h"
#include "ui/difference_table.h"

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

constexpr int kColumns = 9;

}  // namespace

JournalWindow::JournalWindow(const QString& path, rv::JournalContents journal,
                             std::vector<rv::LineInstrument> instruments, QWidget* parent)
    : QDialog(parent), journal_(std::move(journal)), instruments_(std::move(instruments)) {
    setObjectName("JournalWindow");
    setWindowTitle(QString::fromUtf8("Журнал записей — %1").arg(path));
    auto* layout = new QVBoxLayout(this);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QString::fromUtf8("Прибор:"), this));
    filter_ = new QComboBox(this);
    filter_->setObjectName("JournalFilter");
    filter_->addItem(QString::fromUtf8("все приборы"));
    for (const rv::LineInstrument& m : instruments_) {
        QString name = QString::number(m.NetNumber);
        if (!m.Model.empty())
            name += QString(" — %1 %2").arg(text(m.Model), text(rv::IdText(m.Id)));
        if (!m.Tag.empty()) name += QString::fromUtf8(" — «%1»").arg(text(m.Tag));
        filter_->addItem(name);
    }
    filterRow->addWidget(filter_);
    filterRow->addStretch();
    layout->addLayout(filterRow);

    entries_ = new QTableWidget(0, kColumns, this);
    entries_->setObjectName("JournalEntries");
    entries_->setHorizontalHeaderLabels(
        {QString::fromUtf8("Время"), QString::fromUtf8("Пользователь"), QString::fromUtf8("Порт"),
         QString::fromUtf8("Номер"), QString::fromUtf8("Модель"), QString::fromUtf8("ID"),
         QString::fromUtf8("Запись"), QString::fromUtf8("Итог"), QString::fromUtf8("Изменений")});
    entries_->verticalHeader()->hide();
    entries_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    entries_->setSelectionBehavior(QAbstractItemView::SelectRows);
    entries_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(entries_, 2);
    changes_ = new QTableWidget(this);
    changes_->setObjectName("JournalChanges");
    layout->addWidget(changes_, 1);

    problems_ = new QLabel(this);
    problems_->setObjectName("JournalProblems");
    problems_->setWordWrap(true);
    QStringList problems;
    if (!journal_.ok) problems << text(journal_.error);
    for (const std::string& p : journal_.problems) problems << text(p);
    problems_->setText(problems.isEmpty()
                           ? QString()
                           : QString::fromUtf8("Пропущены строки:\n") + problems.join('\n'));
    problems_->setVisible(!problems.isEmpty());
    layout->addWidget(problems_);

    connect(filter_, &QComboBox::currentIndexChanged, this, &JournalWindow::showInstrument);
    connect(entries_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { showEntry(row); });
    showInstrument(0);
    resize(900, 600);
}

void JournalWindow::showInstrument(int index) {
    shown_.clear();
    const rv::LineInstrument* instrument =
        index > 0 && index <= static_cast<int>(instruments_.size())
            ? &instruments_[static_cast<size_t>(index) - 1]
            : nullptr;
    for (size_t i = journal_.entries.size(); i-- > 0;) {
        const rv::JournalEntry& e = journal_.entries[i];
        if (instrument == nullptr ||
            rv::EntryConcerns(e, instrument->Model, instrument->Id, instrument->NetNumber)) {
            shown_.push_back(i);
        }
    }
    entries_->setRowCount(static_cast<int>(shown_.size()));
    for (size_t row = 0; row < shown_.size(); ++row) {
        const rv::JournalEntry& e = journal_.entries[shown_[row]];
        const QString cells[kColumns] = {text(rv::LocalTimeOfStamp(e.Time)),
                                         text(e.Account),
                                         text(e.Port),
                                         QString::number(e.NetNumber),
                                         text(e.Model),
                                         text(rv::IdText(e.Id)),
                                         text(e.Operation),
                                         text(e.Result),
                                         QString::number(e.Changes.size())};
        for (int c = 0; c < kColumns; ++c)
            entries_->setItem(static_cast<int>(row), c, new QTableWidgetItem(cells[c]));
    }
    entries_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    entries_->horizontalHeader()->setStretchLastSection(true);
    if (shown_.empty()) {
        showEntry(-1);
    } else {
        entries_->setCurrentCell(0, 0);
        showEntry(0);
    }
}

void JournalWindow::showEntry(int row) {
    const bool valid = row >= 0 && row < static_cast<int>(shown_.size());
    static const std::vector<rv::FieldDifference> none;
    ShowDifferences(changes_,
                    valid ? journal_.entries[shown_[static_cast<size_t>(row)]].Changes : none,
                    QString::fromUtf8("Было"), QString::fromUtf8("Стало"));
}
