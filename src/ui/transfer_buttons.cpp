#include "ui/transfer_buttons.h"

#include <QPushButton>
#include <optional>

#include "config/transfer.h"
#include "configfile/code_page.h"
#include "line/journal.h"
#include "line/recorded_write.h"
#include "ui/image_source.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"
#include "ui/window_image.h"
#include "ui/window_style.h"

namespace {

// The buttons' place in the main window.
constexpr int kLeft = 464;
constexpr int kTop = 286;
constexpr int kWidth = 217;
constexpr int kButtonWidth = 105;
constexpr int kButtonHeight = 28;

// The instrument's texts are in the Windows Cyrillic code page; a byte outside it leaves the
// text as it came.
QString FromInstrumentText(const std::string& bytes) {
    if (const auto text = rv::InstrumentTextToUtf8(bytes)) return QString::fromStdString(*text);
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

}  // namespace

TransferButtons::TransferButtons(WindowImage& image, ImageSource& source, OperationRunner& runner,
                                 QWidget* parent)
    : QWidget(parent), image_(image), source_(source), runner_(runner) {
    setObjectName("TransferButtons");
    setGeometry(kLeft, kTop, kWidth, kButtonHeight);
    const QFont bold = window_style::withPixelSize(font(), 13, true);

    BtnLoad = new QPushButton(QString::fromUtf8("Прочитать"), this);
    BtnLoad->setObjectName("BtnLoad");
    BtnLoad->setFont(bold);
    BtnLoad->setGeometry(0, 0, kButtonWidth, kButtonHeight);
    window_style::setHint(BtnLoad, "Считать данные из прибора");
    BtnSave = new QPushButton(QString::fromUtf8("Записать"), this);
    BtnSave->setObjectName("BtnSave");
    BtnSave->setFont(bold);
    BtnSave->setGeometry(kWidth - kButtonWidth, 0, kButtonWidth, kButtonHeight);
    window_style::setHint(BtnSave, "Записать  данные в прибор");

    connect(BtnLoad, &QPushButton::clicked, this, &TransferButtons::BtnLoadClick);
    connect(BtnSave, &QPushButton::clicked, this, &TransferButtons::BtnSaveClick);
}

void TransferButtons::setSaveEnabled(bool enabled) { BtnSave->setEnabled(enabled); }

void TransferButtons::BtnLoadClick() {
    QWidget& owner = *window();
    if (!runner_.line().available(&owner)) return;
    if (beforeRead && !beforeRead()) return;
    if (!runner_.boxes().confirmOkCancel(&owner, QString::fromUtf8(" Считать данные ?"))) return;
    // The worker reads into its own copy; the window's image decodes each block the worker
    // read, on the window's thread, so that what the window does on each (the display time
    // follows block 20) stays in the image it holds.
    rv::ConfigImage read = image_.data();
    rv::InstrumentRecord record = source_.record;
    const std::optional<rv::Outcome> outcome = runner_.run(
        owner, QString::fromUtf8("  Чтение ..."), true, {LineTask::Read, true, {}},
        [this, &read, &record](LineUse& use) {
            rv::TransferObserver observer;
            observer.progress = [&use](int percent) { use.progress(percent); };
            observer.versionReceived = [this, &use](const std::string& version) {
                use.post([this, version] { emit versionReceived(FromInstrumentText(version)); });
            };
            observer.blockDecoded = [this, &use](int index, const rv::BlockBuffer& block) {
                use.post([this, index, block] {
                    image_.data().DecodeBlock(index, block);
                    image_.edited();
                    emit blockDecoded(index);
                });
            };
            return rv::ReadConfiguration(use.link(), read, observer, &record);
        });
    if (!outcome) return;
    source_.fromFile = false;
    source_.record = record;
    // A read that did not end leaves no configuration loaded; the blocks it decoded stay.
    if (*outcome != rv::Outcome::Done && image_.data().LoadedId != 0) {
        image_.data().LoadedId = 0;
        image_.edited();
    }
    emit readFinished();
}

void TransferButtons::BtnSaveClick() {
    QWidget& owner = *window();
    if (!runner_.line().available(&owner)) return;
    if (beforeWrite && !beforeWrite()) return;
    if (!runner_.boxes().confirmOkCancel(&owner, QString::fromUtf8(" Записать данные ?"))) return;
    // The worker writes from copies taken here.
    const rv::ConfigImage image = image_.data();
    std::optional<rv::RawBlocks> base;
    if (source_.fromFile) base = source_.record.Raw;
    const std::string journal = journalPath ? journalPath() : rv::DefaultJournalPath();
    rv::RecordedWrite recorded;
    const std::optional<rv::Outcome> outcome = runner_.run(
        owner, QString::fromUtf8("  Запись ..."), false, {LineTask::Write, true, {}},
        [&image, &base, &journal, &recorded](LineUse& use) {
            rv::TransferObserver observer;
            observer.progress = [&use](int percent) { use.progress(percent); };
            recorded = rv::WriteAndRecord(use.link(), image, base ? &*base : nullptr,
                                          rv::TargetOf(use.link(), image), journal, observer);
            return recorded.outcome;
        });
    if (outcome && !recorded.journaled)
        runner_.boxes().warning(&owner, QString::fromUtf8("Запись не попала в журнал.\n%1")
                                            .arg(QString::fromStdString(recorded.journalError)));
    if (outcome == rv::Outcome::Done) emit written();
}
