#include "ui/line_job_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

LineJobDialog::LineJobDialog() {
    setObjectName("LineJobDialog");
    setModal(false);
    resize(520, 360);
    auto* layout = new QVBoxLayout(this);
    current_ = new QLabel(this);
    current_->setObjectName("JobCurrent");
    current_->setWordWrap(true);
    gauge_ = new QProgressBar(this);
    gauge_->setObjectName("JobGauge");
    gauge_->setRange(0, 100);
    results_ = new QListWidget(this);
    results_->setObjectName("JobResults");
    cancel_ = new QPushButton(QString::fromUtf8("Отмена"), this);
    cancel_->setObjectName("JobCancel");
    close_ = new QPushButton(QString::fromUtf8("Закрыть"), this);
    close_->setObjectName("JobClose");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);
    layout->addWidget(current_);
    layout->addWidget(gauge_);
    layout->addWidget(results_, 1);
    layout->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancel_->setEnabled(false);
        current_->setText(QString::fromUtf8("Остановка…"));
        emit cancelRequested();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::hide);
}

void LineJobDialog::begin(const QString& title) {
    setWindowTitle(title);
    results_->clear();
    current_->clear();
    gauge_->setValue(0);
    cancel_->setEnabled(true);
    close_->setEnabled(false);
    running_ = true;
    show();
    raise();
}

void LineJobDialog::setCurrent(const QString& text) {
    if (cancel_->isEnabled()) current_->setText(text);
}

void LineJobDialog::setProgress(int percent) { gauge_->setValue(percent); }

void LineJobDialog::addResult(const QString& text) {
    auto* item = new QListWidgetItem(text, results_);
    // Measured once, as it comes: otherwise the list measures every line again each time it
    // is laid out, and a job on a whole line lays it out once per instrument.
    item->setSizeHint(results_->sizeHintForIndex(results_->indexFromItem(item)));
    results_->scrollToBottom();
}

void LineJobDialog::end(const QString& summary) {
    running_ = false;
    current_->setText(summary);
    cancel_->setEnabled(false);
    close_->setEnabled(true);
    close_->setDefault(true);
}

void LineJobDialog::reject() {
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (cancel_->isEnabled()) cancel_->click();
}
