#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringDecoder>

#include "config/transfer.h"
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

void TDeskForm::setUsedChannelBoxes() {
    const uint16_t used = image_.UsedChannels;
    for (int i = 0; i < rv::kChannelCount; ++i) CC[i]->setChecked((used >> i) & 1u);
}

void TDeskForm::BtnLoadClick() {
    if (!boxes_.confirmOkCancel(this, QString::fromUtf8(" Считать данные ?"))) return;
    rv::TransferObserver observer;
    observer.progress = [this](int percent) { runner_.showProgress(percent); };
    observer.versionReceived = [this](const std::string& version) {
        LabelVersion->setText(FromInstrumentText(version));
        LabelVersion->show();
        Label6->show();
    };
    observer.blockDecoded = [this](int block) {
        if (block == 2) setUsedChannelBoxes();
        if (block == 20) EdPause->setValue(rv::SecondsFromDisplayCode(image_.DisplayPeriodByte));
    };
    runner_.run(*this, QString::fromUtf8("  Чтение ..."), true, OperationRunner::Priority::Raised,
                [&] { return rv::ReadConfiguration(link_, image_, observer); });
    TabCtrlChange();
}

void TDeskForm::BtnSaveClick() {
    if (!boxes_.confirmOkCancel(this, QString::fromUtf8(" Записать данные ?"))) return;
    rv::TransferObserver observer;
    observer.progress = [this](int percent) { runner_.showProgress(percent); };
    runner_.run(*this, QString::fromUtf8("  Запись ..."), false, OperationRunner::Priority::Raised,
                [&] { return rv::WriteConfiguration(link_, image_, observer); });
}
