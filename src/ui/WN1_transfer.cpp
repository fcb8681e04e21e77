#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringDecoder>

#include "config/transfer.h"
#include "link/priority.h"
#include "link/status.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"
#include "ui/text_spin_box.h"

namespace {

// The instrument's texts are in the Windows Cyrillic code page.
QString FromInstrumentText(const std::string& bytes) {
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid()) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

}  // namespace

// A window not yet given its progress window runs its operations without one.
void TDeskForm::beginOperation(const QString& caption, bool cancellable) {
    link_.CancelFlag = false;
    setEnabled(false);
    if (infoForm_) infoForm_->startOperation(caption, cancellable);
}

void TDeskForm::showProgress(int percent) {
    if (infoForm_) infoForm_->setProgress(percent);
}

void TDeskForm::endOperation() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    setEnabled(true);
    activateWindow();
    setFocus();
    if (infoForm_) infoForm_->finishOperation();
}

void TDeskForm::setUsedChannelBoxes() {
    const uint16_t used = image_.UsedChannels;
    for (int i = 0; i < rv::kChannelCount; ++i) CC[i]->setChecked((used >> i) & 1u);
}

void TDeskForm::BtnLoadClick() {
    if (!boxes_.confirmOkCancel(this, QString::fromUtf8(" Считать данные ?"))) return;
    const rv::RaisedPriority priority;
    beginOperation(QString::fromUtf8("  Чтение ..."), true);

    rv::TransferObserver observer;
    observer.progress = [this](int percent) { showProgress(percent); };
    observer.versionReceived = [this](const std::string& version) {
        LabelVersion->setText(FromInstrumentText(version));
        LabelVersion->show();
        Label6->show();
    };
    observer.blockDecoded = [this](int block) {
        if (block == 2) setUsedChannelBoxes();
        if (block == 20) EdPause->setValue(rv::SecondsFromDisplayCode(image_.DisplayPeriodByte));
    };
    source_.fromFile = false;
    const rv::Outcome outcome = rv::ReadConfiguration(link_, image_, observer, &source_.record);
    if (outcome == rv::Outcome::Failed && link_.LinkStatus != 0) {
        boxes_.error(this, QString::fromStdString(rv::StatusText(link_.LinkStatus)));
    }
    endOperation();
    TabCtrlChange();
    emit configurationRead();
}

void TDeskForm::BtnSaveClick() {
    if (beforeWrite && !beforeWrite()) return;
    if (!boxes_.confirmOkCancel(this, QString::fromUtf8(" Записать данные ?"))) return;
    const rv::RaisedPriority priority;
    beginOperation(QString::fromUtf8("  Запись ..."), false);

    rv::TransferObserver observer;
    observer.progress = [this](int percent) { showProgress(percent); };
    const rv::Outcome outcome = rv::WriteConfiguration(
        link_, image_, observer, source_.fromFile ? &source_.record.Raw : nullptr);
    if (outcome == rv::Outcome::Failed && link_.LinkStatus != 0) {
        boxes_.error(this, QString::fromStdString(rv::StatusText(link_.LinkStatus)));
    }
    endOperation();
}
