#include "ui/WN1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "channel/fields.h"
#include "line/journal.h"
#include "link/timeouts.h"
#include "rv740x_version.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/bus_panel.h"
#include "ui/channel_page.h"
#include "ui/config_file_host.h"
#include "ui/config_file_menu.h"
#include "ui/line_menu.h"
#include "ui/line_owner.h"
#include "ui/main_menu.h"
#include "ui/sensor_view_host.h"
#include "ui/sensor_view_menu.h"
#include "ui/text_spin_box.h"
#include "ui/transfer_buttons.h"
#include "ui/window_caption.h"
#include "ui/window_holds.h"
#include "ui/window_style.h"

namespace {

// The main window as the configuration-file menu sees it.
class DeskFileHost : public ConfigFileHost {
  public:
    explicit DeskFileHost(TDeskForm& form) : form_(form) {}

    QWidget& window() override { return form_; }
    bool idle() const override { return form_.isEnabled() && !form_.line().busy(); }
    const rv::ConfigImage& image() const override { return form_.image(); }
    const ImageSource& source() const override { return form_.source(); }
    MessageBoxes& boxes() override { return form_.boxes(); }
    OperationRunner& runner() override { return form_.runner(); }
    void showFile(const rv::ConfigurationFile& file, const QString& version) override {
        form_.source() = {file.Instrument, true};
        form_.windowImage().replace(file.Image);
        form_.showLoadedImage(version);
    }
    void showSource(const QString& fileName) override {
        form_.caption().setFileName(fileName);
        form_.caption().markClean();
    }
    bool confirmDiscard() override { return form_.caption().confirmDiscard(); }

  private:
    TDeskForm& form_;
};

// The main window as the "Прибор" menu and its sensor views see it.
class DeskSensorHost : public SensorViewHost {
  public:
    explicit DeskSensorHost(TDeskForm& form) : form_(form) {}

    QWidget& window() override { return form_; }
    bool idle() const override { return form_.isEnabled(); }
    const rv::ConfigImage& image() const override { return form_.image(); }
    MessageBoxes& boxes() override { return form_.boxes(); }
    LineOwner& line() override { return form_.line(); }

  private:
    TDeskForm& form_;
};

using window_style::makeLabel;
using window_style::setHint;
using window_style::withPixelSize;

constexpr int kClientWidth = 688;
constexpr int kClientHeight = 473;
constexpr int kColumnLeft = 464;
constexpr int kColumnWidth = 217;
constexpr int kBoxLeft = 490;
constexpr int kBoxStep = 19;
constexpr int kBoxSize = 17;
// A version such as "2.07" needs about 42 pixels in the bold 17-pixel face, more than the
// classic 35 at 648, so the label starts further left and keeps a margin to the edge.
constexpr int kVersionLeft = 636;

// The widget's own enabled setting, whatever its parents' states.
bool ownEnabled(const QWidget* widget) { return !widget->testAttribute(Qt::WA_ForceDisabled); }

}  // namespace

QFont TDeskForm::windowFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    for (const char* family : {"Liberation Sans", "DejaVu Sans"}) {
        if (families.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    return withPixelSize(font, 13, false);
}

TDeskForm::TDeskForm(LineOwner& line, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      line_(line),
      boxes_(boxes),
      runner_(line, boxes) {
    setObjectName("DeskForm");
    // Before the parts that follow busy and idle: they find the window held or free already.
    connect(&line_, &LineOwner::busyChanged, this, &TDeskForm::lineBusy);
    setWindowTitle(QString::fromUtf8("Конфигурация   приборов  RV7406 и RV7408  (Ver %1)")
                       .arg(RV740X_VERSION));
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    page_ = new ChannelPage(image_, runner_, this);
    createRightColumn();
    setKeyboardOrder();
    FormCreate();
    mainMenu_ = new MainMenu(this, QSize(kClientWidth, kClientHeight));
    caption_ = new WindowCaption(*this, image_, source_, line_.settings(), boxes_);
    fileHost_ = std::make_unique<DeskFileHost>(*this);
    configFileMenu_ = new ConfigFileMenu(*fileHost_, *mainMenu_, this);
    connect(this, &TDeskForm::configurationRead, configFileMenu_,
            &ConfigFileMenu::configurationRead);
    beforeWrite = [this] { return configFileMenu_->confirmWriteTarget(); };
    LineWindow::Host lineHost;
    lineHost.line = &line_;
    lineHost.boxes = &boxes_;
    lineHost.windowConfiguration = [this]() -> std::optional<WindowConfiguration> {
        if (image().LoadedId == 0) return std::nullopt;
        return WindowConfiguration{image(), source_.record, source_.fromFile};
    };
    lineHost.openInWindow = [this](const rv::LineInstrument& instrument) {
        if (!isEnabled() || !line_.available(this)) return;
        bus_->followNetworkChange(static_cast<int>(instrument.NetNumber),
                                  rv::SpeedIndexOfBaud(instrument.BaudRate));
        raise();
        activateWindow();
        transfer_->BtnLoadClick();
    };
    lineHost.portName = [this] { return bus_->portName(); };
    lineHost.applyPort = [this](const std::string& port) { return bus_->choosePort(port); };
    lineMenu_ =
        new LineMenu(std::move(lineHost), *mainMenu_, configFileMenu_->compareDeviceAction(), this);
    transfer_->journalPath = [this] { return lineMenu_->journalPath(); };
    configFileMenu_->copiesFolder = [this] { return lineMenu_->copiesFolder(); };
    sensorHost_ = std::make_unique<DeskSensorHost>(*this);
    sensorViewMenu_ = new SensorViewMenu(*sensorHost_, *mainMenu_, *page_, this);
    connect(this, &TDeskForm::configurationRead, sensorViewMenu_,
            &SensorViewMenu::configurationRead);
    connect(transfer_, &TransferButtons::written, caption_, &WindowCaption::markClean);
    connect(bus_, &BusPanel::addressChanged, caption_, &WindowCaption::update);
}

// The sensor view goes first, while the window is whole: a run it still has is asked to stop.
// The file menu goes before the view of the window it was given.
TDeskForm::~TDeskForm() {
    delete lineMenu_;
    lineMenu_ = nullptr;
    delete sensorViewMenu_;
    sensorViewMenu_ = nullptr;
    delete configFileMenu_;
}

void TDeskForm::setPortDevices(const rv::PortDevices& devices) { bus_->setPortDevices(devices); }

void TDeskForm::setDialogs(TFormRELE* rele, TFormPASS* pass, TInfoForm* info) {
    formRELE_ = rele;
    formPASS_ = pass;
    runner_.setInfoForm(info);
    if (formRELE_ != nullptr)
        connect(formRELE_, &TFormRELE::hidden, this, &TDeskForm::dialogClosed);
    if (formPASS_ != nullptr) {
        formPASS_->journalPath = [this] {
            return lineMenu_ != nullptr ? lineMenu_->journalPath() : rv::DefaultJournalPath();
        };
        connect(formPASS_, &TFormPASS::hidden, this, &TDeskForm::dialogClosed);
        // After a network write the window addresses the instrument at its new number and speed.
        connect(formPASS_, &TFormPASS::networkChanged, bus_, &BusPanel::followNetworkChange);
    }
}

void TDeskForm::createRightColumn() {
    const QFont bold = withPixelSize(font(), 13, true);

    Label6 = makeLabel(this, "Label6", "Версия внутр. программы :", 0, 8);
    Label6->move(kVersionLeft - 4 - Label6->width(), 8);
    Label6->hide();
    LabelVersion = new QLabel(this);
    LabelVersion->setObjectName("LabelVersion");
    LabelVersion->setFont(withPixelSize(font(), 17, true));
    LabelVersion->setGeometry(kVersionLeft, 6, kClientWidth - 4 - kVersionLeft, 20);

    Label4 = makeLabel(this, "Label4", "Используемые каналы :", 480, 40);

    Label14 = new QLabel(QString::fromUtf8("  1    2    3    4    5    6    7    8"), this);
    Label14->setObjectName("Label14");
    QFont numbers = withPixelSize(font(), 15, false);
    {
        // Four blanks and a digit make one box step, so each number stands under its box.
        const QFontMetricsF metrics(numbers);
        const qreal digit = metrics.horizontalAdvance(QLatin1Char('1'));
        const qreal blank = metrics.horizontalAdvance(QLatin1Char(' '));
        numbers.setLetterSpacing(QFont::AbsoluteSpacing, (kBoxStep - digit - 4 * blank) / 5);
    }
    Label14->setFont(numbers);
    Label14->move(488, 72);
    Label14->adjustSize();

    Label13 = makeLabel(this, "Label13", "Время индикации", kColumnLeft, 136);
    EdPause = new TextSpinBox(this);
    EdPause->setObjectName("EdPause");
    EdPause->setFont(bold);
    EdPause->setRange(1, 70);
    EdPause->setValue(1);
    EdPause->editor()->setMaxLength(2);
    EdPause->readText = [](const QString& text, int) {
        std::int64_t seconds = 0;
        return rv::ParseIntegerField(text.toStdString(), seconds) ? static_cast<int>(seconds) : 1;
    };
    EdPause->setGeometry(600, 128, 52, 24);
    setHint(EdPause, "Время индикации каждого канала при циклической индикации");
    LbPause = makeLabel(this, "LbPause", "сек.", 656, 132);

    BtnPASS = new QPushButton(QString::fromUtf8("Изменение пароля"), this);
    BtnPASS->setObjectName("BtnPASS");
    BtnPASS->setGeometry(kColumnLeft, 166, kColumnWidth, 25);
    BtnRELE = new QPushButton(QString::fromUtf8("Конфигурация РЕЛЕ"), this);
    BtnRELE->setObjectName("BtnRELE");
    BtnRELE->setGeometry(kColumnLeft, 196, kColumnWidth, 25);

    bus_ = new BusPanel(line_, boxes_, this);
    // The buttons sit inside the panel's rectangle, above it.
    transfer_ = new TransferButtons(image_, source_, runner_, this);
    transfer_->beforeWrite = [this] { return !beforeWrite || beforeWrite(); };
    // A read replaces the window's configuration: edits not yet written or saved are asked
    // about first, as opening a file and leaving do.
    transfer_->beforeRead = [this] { return caption_ == nullptr || caption_->confirmDiscard(); };
    transfer_->raise();

    connect(EdPause, &TextSpinBox::shownTextChanged, this, &TDeskForm::EdPauseChange);
    connect(BtnPASS, &QPushButton::clicked, this, &TDeskForm::BtnPASSClick);
    connect(BtnRELE, &QPushButton::clicked, this, &TDeskForm::BtnRELEClick);
    connect(bus_, &BusPanel::searchStarted, this, &TDeskForm::holdForSearch);
    connect(bus_, &BusPanel::searchFinished, this, &TDeskForm::releaseAfterSearch);
    connect(transfer_, &TransferButtons::versionReceived, this, &TDeskForm::showVersion);
    connect(transfer_, &TransferButtons::blockDecoded, this, &TDeskForm::showDecodedBlock);
    connect(transfer_, &TransferButtons::readFinished, page_, &ChannelPage::TabCtrlChange);
    connect(transfer_, &TransferButtons::readFinished, this, &TDeskForm::configurationRead);
}

QWidget* TDeskForm::named(const char* name) const {
    auto* widget = findChild<QWidget*>(name);
    Q_ASSERT(widget != nullptr);
    return widget;
}

void TDeskForm::setKeyboardOrder() {
    const char* const chain[] = {
        "MenuCOM",    "MenuTecSPD",  "Pribor",  "BtnLoad",  "TabBar",  "MenuTIDA", "MenuSHEMA",
        "EdFrac",     "EdRt0",       "BtnR0",   "EdRLine",  "Btn2X",   "EdDelta",  "EdUsred",
        "EdDiap1",    "EdDiap2",     "BitSQRT", "EdUstav1", "EdGist1", "EdUstav2", "EdGist2",
        "EdAlarmLow", "EdAlarmHigh", "EdPause", "BtnPASS",  "BtnRELE", "BtnSave"};
    QWidget* previous = nullptr;
    for (const char* name : chain) {
        QWidget* widget = named(name);
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    // The boxes join the chain as they are created (FormCreate), followed by the search.
}

void TDeskForm::FormCreate() {
    bus_->selectStartupLine();
    image_.data().SetStartupValues();
    EdPause->setValue(3);

    QWidget* previous = named("BtnSave");
    for (int i = 0; i < rv::kChannelCount; ++i) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QString("CC%1").arg(i + 1));
        box->setFocusPolicy(Qt::StrongFocus);
        box->setChecked((image().UsedChannels >> i) & 1u);
        box->setGeometry(kBoxLeft + kBoxStep * i, 56, kBoxSize, kBoxSize);
        QWidget::setTabOrder(previous, box);
        previous = box;
        connect(box, &QCheckBox::toggled, this, [this, i] { CCClick(i); });
        CC[i] = box;
    }
    QWidget::setTabOrder(previous, named("BtnSearch"));
    QWidget::setTabOrder(named("BtnSearch"), named("MenuPribor"));

    // From here on, every channel shown brings the boxes up to date.
    connect(page_, &ChannelPage::channelShown, this, &TDeskForm::showAvailability);
    page_->TabCtrlChange();
}

void TDeskForm::showAvailability() {
    const uint16_t fitted = image().ChannelsFitted;
    transfer_->setSaveEnabled(image().LoadedId != 0);
    BtnRELE->setEnabled(image().LoadedId != 0);
    for (int i = 0; i < rv::kChannelCount; ++i) {
        const bool present = (fitted >> i) & 1u;
        CC[i]->setEnabled(present);
        if (!present) CC[i]->setChecked(false);
    }
}

void TDeskForm::CCClick(int index) {
    image().UsedChannels = rv::UpdateUsedChannels(
        image().UsedChannels, static_cast<uint16_t>(1u << index), CC[index]->isChecked());
    image_.edited();
}

void TDeskForm::EdPauseChange() {
    std::int64_t seconds = 0;
    if (!rv::ParseIntegerField(EdPause->editor()->text().toStdString(), seconds)) {
        seconds = EdPause->minimum();
    }
    image().DisplayPeriodByte = rv::DisplayCodeFromSeconds(seconds);
    image_.edited();
}

void TDeskForm::setUsedChannelBoxes() {
    const uint16_t used = image().UsedChannels;
    for (int i = 0; i < rv::kChannelCount; ++i) CC[i]->setChecked((used >> i) & 1u);
}

bool TDeskForm::searchActive() const { return bus_->searchActive(); }

void TDeskForm::showLoadedImage(const QString& version) {
    const uint8_t displayCode = image().DisplayPeriodByte;
    showVersion(version);
    setUsedChannelBoxes();
    EdPause->setValue(rv::SecondsFromDisplayCode(displayCode));
    // The box above shows whole seconds; the image's own code is what a write sends.
    image().DisplayPeriodByte = displayCode;
    image_.edited();
    page_->TabCtrlChange();
}

void TDeskForm::showVersion(const QString& version) {
    LabelVersion->setText(version);
    LabelVersion->show();
    Label6->show();
}

void TDeskForm::showDecodedBlock(int index) {
    if (rv::BlockHoldsUsedChannels(index)) setUsedChannelBoxes();
    if (rv::BlockHoldsDisplayPeriod(index))
        EdPause->setValue(rv::SecondsFromDisplayCode(image().DisplayPeriodByte));
}

void TDeskForm::holdForSearch() {
    heldForSearch_.clear();
    // Every control that could start another use of the port, the menu bar last.
    for (QWidget* control :
         std::initializer_list<QWidget*>{transfer_, BtnRELE, BtnPASS, EdPause, page_, CC[0], CC[1],
                                         CC[2], CC[3], CC[4], CC[5], CC[6], CC[7], mainMenu_}) {
        heldForSearch_.emplace_back(control, ownEnabled(control));
        control->setEnabled(false);
    }
}

void TDeskForm::releaseAfterSearch() {
    for (const auto& [control, enabled] : heldForSearch_) control->setEnabled(enabled);
    heldForSearch_.clear();
}

// A window not yet given its dialogs has nothing to open.
void TDeskForm::BtnPASSClick() { openDialog(formPASS_); }

void TDeskForm::BtnRELEClick() { openDialog(formRELE_); }

// The window stays disabled while the dialog is up; the dialog's hiding gives it back.
void TDeskForm::openDialog(QDialog* dialog) {
    if (dialog == nullptr) return;
    SetHeld(*this, Hold::Dialog, true);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (!dialog->isVisible()) dialogClosed();
}

void TDeskForm::dialogClosed() {
    SetHeld(*this, Hold::Dialog, false);
    activateWindow();
    setFocus();
}

void TDeskForm::lineBusy(bool busy) {
    SetHeld(*this, Hold::Line, busy && line_.task() != LineTask::Search);
    if (!busy && closeWhenIdle_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TDeskForm::closeEvent(QCloseEvent* event) {
    // Edits, and a line not saved, are not thrown away unasked; while the line is busy, or a
    // dialog is up, there is no asking.
    if (!closeWhenIdle_ && isEnabled() && !line_.busy() &&
        (!caption_->confirmDiscard() || !lineMenu_->confirmClose())) {
        event->ignore();
        return;
    }
    FormClose();
    if (line_.busy()) {
        // No waiting here: the use ends at its next step, and the window closes then.
        closeWhenIdle_ = true;
        event->ignore();
        return;
    }
    closeWhenIdle_ = false;
    event->accept();
    emit closed();
}

void TDeskForm::FormClose() { line_.cancelAll(); }
