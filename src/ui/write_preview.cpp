#include "ui/write_preview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString headingOf(const rv::InstrumentResult& result) {
    const rv::LineInstrument& i = result.instrument;
    QString text = QString::fromUtf8("Прибор %1").arg(i.NetNumber);
    if (!i.Model.empty()) text += " " + fromUtf8(i.Model);
    if (i.Id != 0) text += QString::fromUtf8(", ID ") + fromUtf8(rv::IdText(i.Id));
    if (!i.Tag.empty()) text += QString::fromUtf8(" («%1»)").arg(fromUtf8(i.Tag));
    return text + ": " + fromUtf8(rv::ResultSummary(result, rv::JobKind::Preview));
}

}  // namespace

WritePreview::WritePreview(const std::vector<rv::InstrumentResult>& results, QWidget* parent)
    : QDialog(parent) {
    setObjectName("WritePreview");
    setWindowTitle(QString::fromUtf8("Запись конфигурации в приборы"));
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName("PreviewTable");
    table_->setHorizontalHeaderLabels({QString::fromUtf8("Канал"), QString::fromUtf8("Параметр"),
                                       QString::fromUtf8("Сейчас в приборе"),
                                       QString::fromUtf8("После записи")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    size_t writable = 0;
    auto addSpanning = [this](const QString& text, bool bold) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        auto* item = new QTableWidgetItem(text);
        QFont font = item->font();
        font.setBold(bold);
        item->setFont(font);
        table_->setItem(row, 0, item);
        table_->setSpan(row, 0, 1, 4);
    };
    for (const rv::InstrumentResult& r : results) {
        addSpanning(headingOf(r), true);
        for (const std::string& warning : r.identityWarnings) addSpanning(fromUtf8(warning), false);
        if (r.outcome != rv::Outcome::Done) continue;
        ++writable;
        for (const rv::FieldDifference& d : r.differences) {
            const int row = table_->rowCount();
            table_->insertRow(row);
            table_->setItem(row, 0,
                            new QTableWidgetItem(d.channel == 0 ? QString::fromUtf8("—")
                                                                : QString::number(d.channel)));
            table_->setItem(row, 1, new QTableWidgetItem(fromUtf8(d.field)));
            table_->setItem(row, 2, new QTableWidgetItem(fromUtf8(d.left)));
            table_->setItem(row, 3, new QTableWidgetItem(fromUtf8(d.right)));
        }
    }
    table_->resizeColumnsToContents();

    summary_ = new QLabel(
        QString::fromUtf8("Будет записано приборов: %1 из %2. Каждый сохранит свой сетевой "
                          "номер, скорость и пароль; передаются только отличающиеся байты.")
            .arg(writable)
            .arg(results.size()),
        this);
    summary_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* write =
        buttons->addButton(QString::fromUtf8("Записать"), QDialogButtonBox::AcceptRole);
    write->setEnabled(writable > 0);
    buttons->addButton(QString::fromUtf8("Отмена"), QDialogButtonBox::RejectRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
}
