#include "ui/EdPASS.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <functional>

#include "channel/fields.h"
#include "config/dialog_writes.h"
#include "config/image.h"
#include "line/recorded_write.h"
#include "link/link.h"
#include "link/timeouts.h"
#include "ui/line_owner.h"
#include "ui/message_boxes.h"
#include "ui/window_image.h"

namespace {

constexpr int kClientWidth = 332;
constexpr int kClientHeight = 166;
constexpr int kHintMilliseconds = 10000;
constexpr int kFieldLeft = 128;
constexpr int kButtonLeft = 238;

const char* const kSpeedItems[] = {"  300  бод",  "  600  бод",  "  1200  бод", "  2400  бод",
                                   "  4800  бод", "  9600  бод", " 19200  бод"};

// A line edit that reports mouse clicks and double clicks once it has handled them itself,
// so a handler can select the text after the click has placed the cursor.
class ClickableEdit : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    std::function<void()> clicked;

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        QLineEdit::mouseReleaseEvent(e);
        if (clicked) clicked();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        QLineEdit::mouseDoubleClickEvent(e);
        if (clicked) clicked();
    }
};

QString digitText(int value) {
    static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7",
                                          "8", "9", "A", "b", "C", "d", "E", "F"};
    if (value < 0 || value > 15) return QStringLiteral("?");
    return QString::fromLatin1(kDigits[value]);
}

int digitValue(QChar c, int previous) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return previous;
}

void setHint(QWidget* widget, const char* hint) {
    widget->setToolTip(QString::fromUtf8(hint));
    widget->setToolTipDuration(kHintMilliseconds);
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->move(12, top);
    label->adjustSize();
    return label;
}

QString numberText(unsigned value) { return QStringLiteral("  ") + QString::number(value); }

}  // namespace

TFormPASS::TFormPASS(LineOwner& line, WindowImage& image, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      image_(image),
      boxes_(boxes),
      runner_(line, boxes) {
    setObjectName("FormPASS");
    setWindowTitle(QString::fromUtf8("Изменение пароля и сетевого номера"));
    setAttribute(Qt::WA_WindowPropagation);
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Label1 = makeLabel(this, "Label1", "Пароль", 22);
    setHint(Label1, "Пароль для доступа к изменению уставок");
    QFont digitFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digitFont.setPixelSize(16);
    digitFont.setBold(true);
    const std::array<const char*, 4> digitNames{"Sym1", "Sym2", "Sym3", "Sym4"};
    const std::array<void (TFormPASS::*)(), 4> digitHandlers{
        &TFormPASS::Sym1Change, &TFormPASS::Sym2Change, &TFormPASS::Sym3Change,
        &TFormPASS::Sym4Change};
    std::array<QLineEdit*, 4> fields{};
    for (size_t i = 0; i < fields.size(); ++i) {
        auto* field = new ClickableEdit(this);
        field->setObjectName(digitNames[i]);
        field->setFont(digitFont);
        field->setMaxLength(1);
        field->setAlignment(Qt::AlignCenter);
        field->setText(digitText(0));
        field->selectAll();
        field->setGeometry(kFieldLeft + 26 * static_cast<int>(i), 16, 22, 28);
        setHint(field, "Допустимые значения: 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, A, B, C, D, E, F.");
        const auto handler = digitHandlers[i];
        field->clicked = [this, handler] { (this->*handler)(); };
        connect(field, &QLineEdit::textChanged, this, handler);
        fields[i] = field;
    }
    Sym1 = fields[0];
    Sym2 = fields[1];
    Sym3 = fields[2];
    Sym4 = fields[3];

    BtnPASS = new QPushButton(QString::fromUtf8("Изменить"), this);
    BtnPASS->setObjectName("BtnPASS");
    BtnPASS->setGeometry(kButtonLeft, 17, 82, 26);

    Label2 = makeLabel(this, "Label2", "Сетевой  номер", 68);
    auto* seno = new ClickableEdit(numberText(1), this);
    seno->setObjectName("EdSENO");
    seno->setGeometry(kFieldLeft, 64, 100, 24);
    setHint(seno, "Номер прибора который будет установлен после записи");
    seno->clicked = [this] { EdSENOClick(); };
    EdSENO = seno;

    Label3 = makeLabel(this, "Label3", "Скор.  интерф.", 100);
    MenuSPD = new QComboBox(this);
    MenuSPD->setObjectName("MenuSPD");
    for (const char* item : kSpeedItems) MenuSPD->addItem(QString::fromUtf8(item));
    MenuSPD->setCurrentIndex(rv::kDefaultSpeedIndex);
    MenuSPD->setGeometry(kFieldLeft, 96, 100, 24);
    setHint(MenuSPD, "Скорость интерфейса которая будет установлена после записи");

    BtnSENO = new QPushButton(QString::fromUtf8("Изменить"), this);
    BtnSENO->setObjectName("BtnSENO");
    BtnSENO->setGeometry(kButtonLeft, 79, 82, 26);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry((kClientWidth - 82) / 2, 132, 82, 26);

    // Enter in a field presses no button: each button writes to the instrument or closes.
    for (QPushButton* button : {BtnPASS, BtnSENO, Button1}) button->setAutoDefault(false);

    const std::initializer_list<QWidget*> chain = {Sym1,   Sym2,    Sym3,    Sym4,   BtnPASS,
                                                   EdSENO, MenuSPD, BtnSENO, Button1};
    QWidget* previous = nullptr;
    for (QWidget* widget : chain) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }

    connect(EdSENO, &QLineEdit::textChanged, this, &TFormPASS::EdSENOChange);
    connect(MenuSPD, &QComboBox::currentIndexChanged, this, &TFormPASS::MenuSPDChange);
    connect(Button1, &QPushButton::clicked, this, &TFormPASS::Button1Click);
    connect(BtnPASS, &QPushButton::clicked, this, &TFormPASS::BtnPASSClick);
    connect(BtnSENO, &QPushButton::clicked, this, &TFormPASS::BtnSENOClick);
    connect(&line, &LineOwner::busyChanged, this, &TFormPASS::lineBusy);
    lineBusy(line.busy());
}

void TFormPASS::lineBusy(bool busy) {
    BtnPASS->setEnabled(!busy);
    BtnSENO->setEnabled(!busy);
}

bool TFormPASS::event(QEvent* e) {
    if (e->type() == QEvent::Show) reloadOnActivate_ = true;
    if (e->type() == QEvent::WindowActivate && reloadOnActivate_) FormActivate();
    if (e->type() == QEvent::WindowDeactivate) FormDeactivate();
    return QDialog::event(e);
}

uint16_t TFormPASS::passwordOfDigits() const {
    return static_cast<uint16_t>(digitValues_[0] * 4096 + digitValues_[1] * 256 +
                                 digitValues_[2] * 16 + digitValues_[3]);
}

void TFormPASS::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    emit hidden();
}

void TFormPASS::FormActivate() {
    const rv::ConfigImage& image = image_.data();
    EdSENO->setText(numberText(image.DialogNetNumber));
    MenuSPD->setCurrentIndex(image.DialogSpeedIndex);
    int shift = 12;
    for (size_t i = 0; i < digitValues_.size(); ++i) {
        QLineEdit* field = digits()[i];
        const int value = (image.Password >> shift) & 0xF;
        shift -= 4;
        const QSignalBlocker quiet(field);
        digitValues_[i] = value;
        field->setText(digitText(value));
        // Selected, so that the first key pressed replaces the digit.
        field->selectAll();
    }
}

void TFormPASS::FormDeactivate() {
    // Only a window of this program taking over counts, not another application; coming
    // back from another application then finds the digits as they were left.
    const QWidget* active = QApplication::activeWindow();
    reloadOnActivate_ = active && active != this;
    if (reloadOnActivate_) {
        image_.data().Password = passwordOfDigits();
        image_.edited();
    }
}

void TFormPASS::digitChange(size_t position) {
    QLineEdit* field = digits()[position];
    int& value = digitValues_[position];
    const QString text = field->text();
    if (!text.isEmpty()) value = digitValue(text.at(0), value);
    const QSignalBlocker quiet(field);
    field->setText(digitText(value));
    field->selectAll();
}

void TFormPASS::Sym1Change() { digitChange(0); }
void TFormPASS::Sym2Change() { digitChange(1); }
void TFormPASS::Sym3Change() { digitChange(2); }
void TFormPASS::Sym4Change() { digitChange(3); }

void TFormPASS::EdSENOChange() {
    std::int64_t number = 0;
    if (rv::ParseNetworkNumber(EdSENO->text().toStdString(), number) && number >= 1 &&
        number <= 254) {
        image_.data().DialogNetNumber = static_cast<uint16_t>(number);
        image_.edited();
        return;
    }
    EdSENO->setText(numberText(image_.data().DialogNetNumber));
}

void TFormPASS::EdSENOClick() { EdSENO->selectAll(); }

void TFormPASS::MenuSPDChange(int index) {
    if (index < 0) return;
    image_.data().DialogSpeedIndex = static_cast<uint8_t>(index);
    image_.edited();
}

void TFormPASS::Button1Click() {
    image_.data().Password = passwordOfDigits();
    image_.edited();
    hide();
}

void TFormPASS::BtnSENOClick() {
    if (!runner_.line().available(this)) return;
    if (!boxes_.confirmYesNo(
            this, QString::fromUtf8(" Изменить сетевой номер прибора и скорость обмена ?")))
        return;
    const rv::ConfigImage image = image_.data();
    const std::optional<rv::Outcome> written =
        recordedWrite(LineTask::NetworkWrite, rv::WriteKind::Network, image,
                      [&image](rv::Link& link, const std::function<void(int)>& progress) {
                          return rv::WriteNetworkSettings(link, image, progress);
                      });
    if (written == rv::Outcome::Done)
        emit networkChanged(image.DialogNetNumber, image.DialogSpeedIndex);
}

void TFormPASS::BtnPASSClick() {
    if (!runner_.line().available(this)) return;
    if (!boxes_.confirmYesNo(this, QString::fromUtf8(" Изменить пароль доступа к уставкам ?")))
        return;
    image_.data().Password = passwordOfDigits();
    image_.edited();
    const rv::ConfigImage image = image_.data();
    recordedWrite(LineTask::PasswordWrite, rv::WriteKind::Password, image,
                  [&image](rv::Link& link, const std::function<void(int)>& progress) {
                      return rv::WritePassword(link, image, progress);
                  });
}

std::optional<rv::Outcome> TFormPASS::recordedWrite(
    LineTask task, rv::WriteKind kind, const rv::ConfigImage& image,
    const std::function<rv::Outcome(rv::Link&, const std::function<void(int)>&)>& write) {
    const std::string journal = journalPath ? journalPath() : rv::DefaultJournalPath();
    bool journaled = true;
    std::string journalError;
    const std::optional<rv::Outcome> outcome = runner_.run(
        *this, QString::fromUtf8("  Запись ..."), false, {task, true, {}}, [&](LineUse& use) {
            rv::Link& link = use.link();
            const uint32_t net = link.NetNumber;
            const int speed = rv::SpeedIndexOfBaud(link.BaudRate);
            const rv::Outcome done = write(link, [&use](int percent) { use.progress(percent); });
            const int32_t status = done == rv::Outcome::Failed ? link.LinkStatus : 0;
            const rv::JournalEntry entry = rv::DialogWriteEntry(kind, rv::TargetOf(link, image),
                                                                image, net, speed, done, status);
            journaled = rv::AppendJournalEntry(journal, entry, journalError);
            return done;
        });
    if (outcome && !journaled)
        boxes_.warning(this, QString::fromUtf8("Запись не попала в журнал.\n%1")
                                 .arg(QString::fromStdString(journalError)));
    return outcome;
}
