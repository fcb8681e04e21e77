#include "ui/transfer_buttons.h"

#include <QPushButton>
#include <optional>

#include "config/transfer.h"
#include "configfile/code_page.h"
#include "ui/image_source.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"
#include "ui/operation_thread.h"
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

TransferButtons::TransferButtons(rv::ConfigImage& image, ImageSource& source,
                                 OperationRunner& runner, QWidget* parent)
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
    if (beforeRead && !beforeRead()) return;
    if (!runner_.boxes().confirmOkCancel(&owner, QString::fromUtf8(" Считать данные ?"))) return;
    source_.fromFile = false;
    // The worker reads into its own copy; the window's image takes the copy's state on the
    // window's thread after each decoded block and once more at the end.
    rv::ConfigImage read = image_;
    rv::InstrumentRecord record = source_.record;
    rv::TransferObserver observer;
    observer.progress = [this](int percent) { runner_.showProgress(percent); };
    observer.versionReceived = [this](const std::string& version) {
        PostToWindow([this, version] { emit versionReceived(FromInstrumentText(version)); });
    };
    observer.blockDecoded = [this, &read](int index) {
        PostToWindow([this, index, decoded = read] {
            image_ = decoded;
            emit blockDecoded(index);
        });
    };
    runner_.run(owner, QString::fromUtf8("  Чтение ..."), true, OperationRunner::Priority::Raised,
                [&] {
                    const rv::Outcome outcome =
                        rv::ReadConfiguration(runner_.link(), read, observer, &record);
                    PostToWindow([this, final = read, learnt = record] {
                        image_ = final;
                        source_.record = learnt;
                    });
                    return outcome;
                });
    emit readFinished();
}

void TransferButtons::BtnSaveClick() {
    QWidget& owner = *window();
    if (beforeWrite && !beforeWrite()) return;
    if (!runner_.boxes().confirmOkCancel(&owner, QString::fromUtf8(" Записать данные ?"))) return;
    rv::TransferObserver observer;
    observer.progress = [this](int percent) { runner_.showProgress(percent); };
    // The worker writes from copies taken here.
    const rv::ConfigImage image = image_;
    std::optional<rv::RawBlocks> base;
    if (source_.fromFile) base = source_.record.Raw;
    const rv::Outcome outcome = runner_.run(
        owner, QString::fromUtf8("  Запись ..."), false, OperationRunner::Priority::Raised, [&] {
            return rv::WriteConfiguration(runner_.link(), image, observer, base ? &*base : nullptr);
        });
    if (outcome == rv::Outcome::Done) emit written();
}
