#include "ui/WN1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>

#include "channel/fields.h"
#include "link/link.h"
#include "ui/EdPASS.h"
#include "ui/text_spin_box.h"

namespace {

constexpr int kClientWidth = 688;
constexpr int kClientHeight = 473;
constexpr int kHintMilliseconds = 10000;
constexpr int kColumnLeft = 464;
constexpr int kColumnWidth = 217;
constexpr int kBoxLeft = 490;
constexpr int kBoxStep = 19;
constexpr int kBoxSize = 17;
// A version such as "2.07" needs about 42 pixels in the bold 17-pixel face, more than the
// classic 35 at 648, so the label starts further left and keeps a margin to the edge.
constexpr int kVersionLeft = 636;

const char* const kPortItems[] = {"  COM1", "  COM2", "  COM3", "  COM4"};
const char* const kSpeedItems[] = {"  300  бод",  "  600  бод",  "  1200  бод", "  2400  бод",
                                   "  4800  бод", "  9600  бод", "  19200  бод"};
constexpr int kStartupPortIndex = 1;
constexpr int kStartupSpeedIndex = 5;

QFont withPixelSize(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void setHint(QWidget* widget, const char* hint) {
    widget->setToolTip(QString::fromUtf8(hint));
    widget->setToolTipDuration(kHintMilliseconds);
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

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

TDeskForm::TDeskForm(rv::Link& link, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      link_(link),
      boxes_(boxes),
      runner_(link, boxes) {
    setObjectName("DeskForm");
    setWindowTitle(QString::fromUtf8("Конфигурация   приборов  RV7406 и RV7408  (Ver 1.55)"));
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    createChannelPage();
    createRightColumn();
    setKeyboardOrder();
    FormCreate();
}

void TDeskForm::setDialogs(TFormRELE* rele, TFormPASS* pass, TInfoForm* info) {
    formRELE_ = rele;
    formPASS_ = pass;
    runner_.setInfoForm(info);
    // After a network write the window addresses the instrument at its new number and speed.
    if (formPASS_ != nullptr) {
        formPASS_->networkChanged = [this](int netNumber, int speedIndex) {
            followNetworkChange(netNumber, speedIndex);
        };
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
        long seconds = 0;
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

    LabelMenu = makeLabel(this, "LabelMenu", " Найденные приборы  ", kColumnLeft, 234);
    LabelMenu->setStyleSheet("background-color: lime;");
    LabelMenu->hide();
    MenuPribor = new QComboBox(this);
    MenuPribor->setObjectName("MenuPribor");
    MenuPribor->setStyleSheet("QComboBox { background-color: lime; }");
    MenuPribor->setGeometry(612, 231, kColumnLeft + kColumnWidth - 612, 24);
    MenuPribor->hide();

    Stepper = new QProgressBar(this);
    Stepper->setObjectName("Stepper");
    Stepper->setRange(0, 100);
    Stepper->setValue(0);
    Stepper->setGeometry(kColumnLeft, 262, kColumnWidth, 16);
    Stepper->hide();

    BtnLoad = new QPushButton(QString::fromUtf8("Прочитать"), this);
    BtnLoad->setObjectName("BtnLoad");
    BtnLoad->setFont(bold);
    BtnLoad->setGeometry(kColumnLeft, 286, 105, 28);
    setHint(BtnLoad, "Считать данные из прибора");
    BtnSave = new QPushButton(QString::fromUtf8("Записать"), this);
    BtnSave->setObjectName("BtnSave");
    BtnSave->setFont(bold);
    BtnSave->setGeometry(kColumnLeft + kColumnWidth - 105, 286, 105, 28);
    setHint(BtnSave, "Записать  данные в прибор");

    Label5 = makeLabel(this, "Label5", "Номер прибора :", kColumnLeft, 334);
    Pribor = new TextSpinBox(this);
    Pribor->setObjectName("Pribor");
    Pribor->setFont(bold);
    Pribor->setRange(0, 254);
    Pribor->setValue(1);
    Pribor->editor()->setMaxLength(3);
    Pribor->readText = [](const QString& text, int current) {
        long number = 0;
        return rv::ParseNetworkNumber(text.toStdString(), number) && number >= 0 && number <= 254
                   ? static_cast<int>(number)
                   : current;
    };
    Pribor->setGeometry(612, 328, kColumnLeft + kColumnWidth - 612, 24);
    setHint(Pribor, "Номер  прибора");

    MenuTecSPD = new QComboBox(this);
    MenuTecSPD->setObjectName("MenuTecSPD");
    for (const char* item : kSpeedItems) MenuTecSPD->addItem(QString::fromUtf8(item));
    MenuTecSPD->setCurrentIndex(-1);
    MenuTecSPD->setGeometry(kColumnLeft, 362, kColumnWidth, 24);
    setHint(MenuTecSPD, "Текущая  скорость  обмена");

    MenuCOM = new QComboBox(this);
    MenuCOM->setObjectName("MenuCOM");
    MenuCOM->setFont(bold);
    for (const char* item : kPortItems) MenuCOM->addItem(QString::fromUtf8(item));
    MenuCOM->setCurrentIndex(-1);
    MenuCOM->setGeometry(kColumnLeft, 396, kColumnWidth, 24);
    setHint(MenuCOM, "COM-порт компьютера к которому подключен прибор");

    BtnSearch = new QPushButton(QString::fromUtf8("П о и с к"), this);
    BtnSearch->setObjectName("BtnSearch");
    BtnSearch->setGeometry(kColumnLeft, 436, kColumnWidth, 28);

    connect(EdPause, &TextSpinBox::shownTextChanged, this, &TDeskForm::EdPauseChange);
    connect(Pribor, &TextSpinBox::shownTextChanged, this, &TDeskForm::PriborChange);
    connect(MenuCOM, &QComboBox::currentIndexChanged, this, &TDeskForm::MenuCOMChange);
    connect(MenuTecSPD, &QComboBox::currentIndexChanged, this, &TDeskForm::MenuTecSPDChange);
    connect(MenuPribor, &QComboBox::activated, this, &TDeskForm::MenuPriborChange);
    connect(BtnSearch, &QPushButton::clicked, this, &TDeskForm::BtnSearchClick);
    connect(BtnPASS, &QPushButton::clicked, this, &TDeskForm::BtnPASSClick);
    connect(BtnRELE, &QPushButton::clicked, this, &TDeskForm::BtnRELEClick);
    connect(BtnLoad, &QPushButton::clicked, this, &TDeskForm::BtnLoadClick);
    connect(BtnSave, &QPushButton::clicked, this, &TDeskForm::BtnSaveClick);
}

void TDeskForm::setKeyboardOrder() {
    const std::initializer_list<QWidget*> chain = {
        MenuCOM,  MenuTecSPD, Pribor,   BtnLoad,  TabBar,   MenuTIDA,   MenuSHEMA, EdFrac,
        EdRt0,    BtnR0,      EdRLine,  Btn2X,    EdDelta,  EdUsred,    EdDiap1,   EdDiap2,
        BitSQRT,  EdUstav1,   EdGist1,  EdUstav2, EdGist2,  EdAlarmLow, EdAlarmHigh,
        EdPause,  BtnPASS,    BtnRELE,  BtnSave};
    QWidget* previous = nullptr;
    for (QWidget* widget : chain) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    // The boxes join the chain as they are created (FormCreate), followed by the search.
}

void TDeskForm::FormCreate() {
    MenuCOM->setCurrentIndex(kStartupPortIndex);
    MenuTecSPD->setCurrentIndex(kStartupSpeedIndex);
    SearchActive = false;
    image_.SetStartupValues();
    EdPause->setValue(3);

    QWidget* previous = BtnSave;
    for (int i = 0; i < rv::kChannelCount; ++i) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QString("CC%1").arg(i + 1));
        box->setProperty("tag", 1 << i);
        box->setFocusPolicy(Qt::StrongFocus);
        box->setChecked((image_.UsedChannels >> i) & 1u);
        box->setGeometry(kBoxLeft + kBoxStep * i, 56, kBoxSize, kBoxSize);
        QWidget::setTabOrder(previous, box);
        previous = box;
        connect(box, &QCheckBox::toggled, this, [this, i] { CCClick(i); });
        CC[i] = box;
    }
    QWidget::setTabOrder(previous, BtnSearch);
    QWidget::setTabOrder(BtnSearch, MenuPribor);

    TabCtrlChange();
}

void TDeskForm::CCClick(int index) {
    const QCheckBox* box = CC[index];
    image_.UsedChannels = rv::UpdateUsedChannels(
        image_.UsedChannels, static_cast<uint16_t>(box->property("tag").toInt()), box->isChecked());
}

void TDeskForm::EdPauseChange() {
    long seconds = 0;
    if (!rv::ParseIntegerField(EdPause->editor()->text().toStdString(), seconds)) {
        seconds = EdPause->minimum();
    }
    image_.DisplayPeriodByte = rv::DisplayCodeFromSeconds(seconds);
}

void TDeskForm::MenuCOMChange(int index) { link_.PortIndex = index; }

void TDeskForm::MenuTecSPDChange(int index) { link_.applySpeedIndex(index); }

void TDeskForm::PriborChange() {
    long number = 0;
    if (rv::ParseNetworkNumber(Pribor->editor()->text().toStdString(), number) && number >= 0 &&
        number <= 254) {
        link_.NetNumber = static_cast<uint32_t>(number);
        return;
    }
    // The box's own value may already equal NetNumber, so its text is set directly.
    Pribor->editor()->setText(QString::number(link_.NetNumber));
}

void TDeskForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    emit closed();
}

void TDeskForm::FormClose() { link_.CancelFlag = true; }
