#include "ui/bus_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <array>

#include "channel/fields.h"
#include "lineaddr/line_address.h"
#include "link/link.h"
#include "link/status.h"
#include "link/timeouts.h"
#include "ops/search.h"
#include "ports/serial_devices.h"
#include "ui/line_owner.h"
#include "ui/message_boxes.h"
#include "ui/text_spin_box.h"
#include "ui/window_style.h"

namespace {

using window_style::makeLabel;
using window_style::setHint;

// The panel's place in the main window; its controls are placed relative to it.
constexpr int kLeft = 464;
constexpr int kTop = 231;
constexpr int kWidth = 217;
constexpr int kHeight = 234;
constexpr int kNumberLeft = 612 - kLeft;

const char* const kPortItems[] = {"  COM1", "  COM2", "  COM3", "  COM4"};
const char* const kSpeedItems[] = {"  300  бод",  "  600  бод",  "  1200  бод", "  2400  бод",
                                   "  4800  бод", "  9600  бод", "  19200  бод"};
constexpr int kStartupPortIndex = 1;
constexpr int kStartupSpeedIndex = 5;

// The widget's own enabled setting, whatever its parents' states.
bool ownEnabled(const QWidget* widget) { return !widget->testAttribute(Qt::WA_ForceDisabled); }

}  // namespace

BusPanel::BusPanel(LineOwner& line, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), line_(line), boxes_(boxes) {
    setObjectName("BusPanel");
    setGeometry(kLeft, kTop, kWidth, kHeight);
    const QFont bold = window_style::withPixelSize(font(), 13, true);

    LabelMenu = makeLabel(this, "LabelMenu", " Найденные приборы  ", 0, 234 - kTop);
    LabelMenu->setStyleSheet("background-color: lime;");
    LabelMenu->hide();
    MenuPribor = new QComboBox(this);
    MenuPribor->setObjectName("MenuPribor");
    MenuPribor->setStyleSheet("QComboBox { background-color: lime; }");
    MenuPribor->setGeometry(kNumberLeft, 231 - kTop, kWidth - kNumberLeft, 24);
    MenuPribor->hide();

    Stepper = new QProgressBar(this);
    Stepper->setObjectName("Stepper");
    Stepper->setRange(0, 100);
    Stepper->setValue(0);
    Stepper->setGeometry(0, 262 - kTop, kWidth, 16);
    Stepper->hide();

    Label5 = makeLabel(this, "Label5", "Номер прибора :", 0, 334 - kTop);
    Pribor = new TextSpinBox(this);
    Pribor->setObjectName("Pribor");
    Pribor->setFont(bold);
    Pribor->setRange(0, 254);
    Pribor->setValue(1);
    Pribor->editor()->setMaxLength(3);
    Pribor->readText = [](const QString& text, int current) {
        std::int64_t number = 0;
        return rv::ParseNetworkNumber(text.toStdString(), number) && number >= 0 && number <= 254
                   ? static_cast<int>(number)
                   : current;
    };
    Pribor->setGeometry(kNumberLeft, 328 - kTop, kWidth - kNumberLeft, 24);
    setHint(Pribor, "Номер  прибора");

    MenuTecSPD = new QComboBox(this);
    MenuTecSPD->setObjectName("MenuTecSPD");
    for (const char* item : kSpeedItems) MenuTecSPD->addItem(QString::fromUtf8(item));
    MenuTecSPD->setCurrentIndex(-1);
    MenuTecSPD->setGeometry(0, 362 - kTop, kWidth, 24);
    setHint(MenuTecSPD, "Текущая  скорость  обмена");

    MenuCOM = new QComboBox(this);
    MenuCOM->setObjectName("MenuCOM");
    MenuCOM->setFont(bold);
    for (const char* item : kPortItems) MenuCOM->addItem(QString::fromUtf8(item));
    MenuCOM->setCurrentIndex(-1);
    MenuCOM->setGeometry(0, 396 - kTop, kWidth, 24);
    setHint(MenuCOM, "COM-порт компьютера к которому подключен прибор");

    BtnSearch = new QPushButton(QString::fromUtf8("П о и с к"), this);
    BtnSearch->setObjectName("BtnSearch");
    BtnSearch->setGeometry(0, 436 - kTop, kWidth, 28);

    connect(Pribor, &TextSpinBox::shownTextChanged, this, &BusPanel::PriborChange);
    connect(MenuCOM, &QComboBox::currentIndexChanged, this, &BusPanel::MenuCOMChange);
    connect(MenuTecSPD, &QComboBox::currentIndexChanged, this, &BusPanel::MenuTecSPDChange);
    connect(MenuPribor, &QComboBox::activated, this, &BusPanel::MenuPriborChange);
    connect(BtnSearch, &QPushButton::clicked, this, &BusPanel::BtnSearchClick);
}

void BusPanel::selectStartupLine() {
    MenuCOM->setCurrentIndex(kStartupPortIndex);
    MenuTecSPD->setCurrentIndex(kStartupSpeedIndex);
    SearchActive = false;
}

void BusPanel::setPortDevices(const rv::PortDevices& devices) {
    portDevices_ = devices;
    MenuCOMChange(MenuCOM->currentIndex());
}

std::string BusPanel::portName() const {
    return rv::PortName(std::clamp(MenuCOM->currentIndex(), 0, rv::kPortCount - 1));
}

std::string BusPanel::choosePort(const std::string& port) {
    int index = rv::PortIndexOf(port);
    for (int i = 0; index < 0 && i < rv::kPortCount; ++i)
        if (portDevices_[static_cast<size_t>(i)] == port) index = i;
    if (index < 0)
        return "«" + port +
               "» не назначен ни одному из COM1..COM4 (назначают в «Порт» → «Устройства "
               "COM-портов…»)";
    const std::string& device = portDevices_[static_cast<size_t>(index)];
    if (!rv::IsNetworkLineName(device) && !rv::DevicePresent(device))
        return rv::PortName(index) + " — устройства «" + device + "» на этом компьютере нет";
    MenuCOM->setCurrentIndex(index);
    MenuCOMChange(index);
    return {};
}

void BusPanel::MenuCOMChange(int index) {
    line_.settings().Device =
        portDevices_[static_cast<size_t>(index >= 0 && index < rv::kPortCount ? index : 0)];
}

void BusPanel::MenuTecSPDChange(int index) { line_.settings().applySpeedIndex(index); }

void BusPanel::PriborChange() {
    std::int64_t number = 0;
    if (rv::ParseNetworkNumber(Pribor->editor()->text().toStdString(), number) && number >= 0 &&
        number <= 254) {
        if (line_.settings().NetNumber != static_cast<uint32_t>(number)) {
            line_.settings().NetNumber = static_cast<uint32_t>(number);
            emit addressChanged();
        }
        return;
    }
    // The box's own value may already equal NetNumber, so its text is set directly.
    Pribor->editor()->setText(QString::number(line_.settings().NetNumber));
}

void BusPanel::BtnSearchClick() {
    if (SearchActive) {
        // The search runs on the worker; the window's thread only asks it to stop.
        line_.cancel();
        return;
    }
    if (!line_.available(window())) return;
    SearchActive = true;
    BtnSearch->setText(QString::fromUtf8("О С Т А Н О В."));

    const std::array<QWidget*, 3> controls{MenuTecSPD, MenuCOM, Pribor};
    std::array<bool, controls.size()> wasEnabled{};
    for (size_t i = 0; i < controls.size(); ++i) {
        wasEnabled[i] = ownEnabled(controls[i]);
        controls[i]->setEnabled(false);
    }
    emit searchStarted();

    MenuPribor->show();
    LabelMenu->show();
    Stepper->setValue(0);
    Stepper->show();
    MenuPribor->clear();
    window()->repaint();

    LineRequest request{LineTask::Search, false,
                        [this](int percent) { Stepper->setValue(percent); }};
    const rv::Duration probeTimeout = rv::SearchTimeoutOfSpeedIndex(MenuTecSPD->currentIndex());
    const std::optional<LineResult> result =
        line_.run(request, window(), [this, probeTimeout](LineUse& use) {
            rv::SearchObserver observer;
            observer.progress = [&use](int percent) { use.progress(percent); };
            observer.found = [this, &use](unsigned netNumber) {
                use.post([this, netNumber] {
                    MenuPribor->addItem(QString::number(netNumber));
                    MenuPribor->setCurrentIndex(0);
                });
            };
            return rv::SearchLine(use.link(), probeTimeout, observer);
        });
    if (result && result->outcome == rv::Outcome::Failed && result->status != rv::status::kOk)
        boxes_.errorWithDetail(
            window(), QString::fromStdString(rv::StatusText(static_cast<uint32_t>(result->status))),
            QString::fromStdString(result->detail));

    BtnSearch->setText(QString::fromUtf8("П о и с к"));
    Stepper->hide();
    for (size_t i = 0; i < controls.size(); ++i) controls[i]->setEnabled(wasEnabled[i]);
    emit searchFinished();
    SearchActive = false;
    PriborChange();
}

void BusPanel::MenuPriborChange(int index) {
    if (SearchActive || index < 0) return;
    Pribor->setValue(MenuPribor->itemText(index).toInt());
    PriborChange();
}

void BusPanel::followNetworkChange(int netNumber, int speedIndex) {
    Pribor->setValue(netNumber);
    MenuTecSPD->setCurrentIndex(speedIndex);
    MenuTecSPDChange(speedIndex);
}
