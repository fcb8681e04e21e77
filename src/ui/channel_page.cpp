#include "ui/channel_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>

#include "channel/fields.h"
#include "channel/sensors.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"
#include "ui/window_image.h"
#include "ui/window_style.h"

namespace {

constexpr int kTabStripWidth = 441;
constexpr int kTabStripHeight = 457;
constexpr int kRowHeight = 24;
constexpr int kLabelLeft = 12;
constexpr int kFieldWidth = 118;
constexpr int kNarrowFieldWidth = 84;
constexpr int kGap = 8;

const char* const kOverflowText = "Переполнение при операции с плавающей точкой";

// Top of each row of the page; the decimals label takes two lines.
enum Row {
    kTida,
    kShema,
    kFrac,
    kRt0,
    kRLine,
    kDelta,
    kUsred,
    kDiap1,
    kDiap2,
    kUstav1,
    kUstav2,
    kAlarmLow,
    kAlarmHigh,
    kRowCount
};
constexpr int kRowTop[kRowCount] = {12, 42, 76, 112, 142, 172, 202, 238, 268, 304, 334, 370, 400};

using window_style::setHint;

}  // namespace

ChannelPage::ChannelPage(WindowImage& image, OperationRunner& runner, QWidget* parent)
    : QWidget(parent), image_(image), runner_(runner) {
    createPage();
}

rv::ChannelConfig& ChannelPage::channel() { return image_.data().Channels[currentChannel()]; }

void ChannelPage::edited() { image_.edited(); }

int ChannelPage::currentChannel() const {
    const int index = TabBar->currentIndex();
    return index < 0 ? 0 : index;
}

void ChannelPage::createPage() {
    setObjectName("TabCtrl");
    setGeometry(8, 8, kTabStripWidth, kTabStripHeight);
    TabBar = new QTabBar(this);
    TabBar->setObjectName("TabBar");
    TabBar->setDrawBase(false);
    for (int i = 1; i <= rv::kChannelCount; ++i) TabBar->addTab(QString::number(i));
    TabBar->move(0, 0);
    TabBar->adjustSize();
    auto* page = new QFrame(this);
    page->setObjectName("ChannelPage");
    page->setFrameShape(QFrame::StyledPanel);
    const int pageTop = TabBar->height() - 1;
    page->setGeometry(0, pageTop, kTabStripWidth, kTabStripHeight - pageTop);
    TabBar->raise();

    struct RowLabel {
        Row row;
        const char* text;
    };
    const RowLabel labels[] = {
        {kTida, "Тип  датчика"},
        {kShema, "Тип  схемы подкл.ТС"},
        {kFrac, "Кол-во знаков после\nзапятой"},
        {kRt0, "Сопр. датчика  в  0°C"},
        {kRLine, "Сопротивл. провода"},
        {kDelta, "Поправка  по  темп."},
        {kUsred, "Кол-во усреднений"},
        {kDiap1, "Значение при   min сигнала"},
        {kDiap2, "Значение при   max сигнала"},
        {kUstav1, "Уставка 1"},
        {kUstav2, "Уставка 2"},
        {kAlarmLow, "Обрыв датчика (низ)"},
        {kAlarmHigh, "Обрыв датчика (верх)"},
    };
    int labelWidth = 0;
    for (const RowLabel& l : labels) {
        auto* label = new QLabel(QString::fromUtf8(l.text), page);
        label->adjustSize();
        const int top = kRowTop[l.row] + (kRowHeight - label->height()) / 2;
        label->move(kLabelLeft, l.row == kFrac ? kRowTop[l.row] - 4 : top);
        labelWidth = std::max(labelWidth, label->width());
    }
    const int fieldLeft = kLabelLeft + labelWidth + 2 * kGap;
    const int besideLeft = fieldLeft + kFieldWidth + kGap;
    const int pageRight = kTabStripWidth - kGap;

    auto place = [&](QWidget* w, const char* name, Row row, int left, int width) {
        w->setObjectName(name);
        w->setGeometry(left, kRowTop[row], width, kRowHeight);
    };
    // Every field starts with a text, so that emptying it on the first display runs its handler.
    auto realField = [&](QLineEdit*& field, const char* name, Row row, int left, int width,
                         void (ChannelPage::*handler)()) {
        field = new QLineEdit(page);
        place(field, name, row, left, width);
        field->setText("0");
        connect(field, &QLineEdit::textChanged, this, handler);
    };

    MenuTIDA = new QComboBox(page);
    place(MenuTIDA, "MenuTIDA", kTida, fieldLeft, pageRight - fieldLeft);
    for (const rv::SensorTypeInfo& type : rv::kSensorTypes) {
        MenuTIDA->addItem(QString::fromUtf8(type.text));
    }
    MenuTIDA->setMaxVisibleItems(rv::kSensorTypeCount + 1);
    MenuTIDA->view()->setMinimumWidth(MenuTIDA->view()->sizeHintForColumn(0) + 2 * kGap);
    MenuSHEMA = new QComboBox(page);
    place(MenuSHEMA, "MenuSHEMA", kShema, fieldLeft, kFieldWidth + kGap + kNarrowFieldWidth);
    for (const char* scheme : rv::kSchemeTexts) MenuSHEMA->addItem(QString::fromUtf8(scheme));

    EdFrac = new QLineEdit(page);
    place(EdFrac, "EdFrac", kFrac, fieldLeft, 48);
    EdFrac->setText("0");
    connect(EdFrac, &QLineEdit::textChanged, this, &ChannelPage::EdFracChange);

    realField(EdRt0, "EdRt0", kRt0, fieldLeft, kFieldWidth, &ChannelPage::EdRt0Change);
    BtnR0 = new QPushButton("Clb", page);
    place(BtnR0, "BtnR0", kRt0, besideLeft, 48);
    setHint(BtnR0, "Измерение сопротивления датчика в 0°C");

    realField(EdRLine, "EdRLine", kRLine, fieldLeft, kFieldWidth, &ChannelPage::EdRLineChange);
    setHint(EdRLine, "Используется только для двухпроводной схемы подключения ТС");
    Btn2X = new QPushButton("Clb", page);
    place(Btn2X, "Btn2X", kRLine, besideLeft, 48);
    setHint(Btn2X, "Измерение сопротивления двухпроводной линии");

    realField(EdDelta, "EdDelta", kDelta, fieldLeft, kFieldWidth, &ChannelPage::EdDeltaChange);

    EdUsred = new QLineEdit(page);
    place(EdUsred, "EdUsred", kUsred, fieldLeft, 72);
    EdUsred->setText("0");
    connect(EdUsred, &QLineEdit::textChanged, this, &ChannelPage::EdUsredChange);

    realField(EdDiap1, "EdDiap1", kDiap1, fieldLeft, kFieldWidth, &ChannelPage::EdDiap1Change);
    setHint(EdDiap1, "Нижний предел диапазона преобразования");
    realField(EdDiap2, "EdDiap2", kDiap2, fieldLeft, kFieldWidth, &ChannelPage::EdDiap2Change);
    setHint(EdDiap2, "Верхний предел диапазона преобразования");
    BitSQRT = new QCheckBox(QString::fromUtf8("БИК"), page);
    BitSQRT->setObjectName("BitSQRT");
    BitSQRT->adjustSize();
    BitSQRT->move(besideLeft,
                  (kRowTop[kDiap1] + kRowTop[kDiap2] + kRowHeight - BitSQRT->height()) / 2);
    setHint(BitSQRT, "Функция извлечения квадратного корня");

    realField(EdUstav1, "EdUstav1", kUstav1, fieldLeft, kFieldWidth, &ChannelPage::EdUstav1Change);
    realField(EdGist1, "EdGist1", kUstav1, besideLeft, kNarrowFieldWidth,
              &ChannelPage::EdGist1Change);
    setHint(EdGist1, "Величина гистерезиса Уставки 1");
    realField(EdUstav2, "EdUstav2", kUstav2, fieldLeft, kFieldWidth, &ChannelPage::EdUstav2Change);
    realField(EdGist2, "EdGist2", kUstav2, besideLeft, kNarrowFieldWidth,
              &ChannelPage::EdGist2Change);
    setHint(EdGist2, "Величина гистерезиса Уставки 2");

    realField(EdAlarmLow, "EdAlarmLow", kAlarmLow, fieldLeft, kFieldWidth,
              &ChannelPage::EdAlarmLowChange);
    realField(EdAlarmHigh, "EdAlarmHigh", kAlarmHigh, fieldLeft, kFieldWidth,
              &ChannelPage::EdAlarmHighChange);

    connect(MenuTIDA, &QComboBox::activated, this, &ChannelPage::MenuTIDAChange);
    connect(MenuSHEMA, &QComboBox::activated, this, &ChannelPage::MenuSHEMAChange);
    connect(BitSQRT, &QCheckBox::toggled, this, &ChannelPage::BitSQRTClick);
    connect(BtnR0, &QPushButton::clicked, this, &ChannelPage::BtnR0Click);
    connect(Btn2X, &QPushButton::clicked, this, &ChannelPage::Btn2XClick);
    connect(TabBar, &QTabBar::currentChanged, this, &ChannelPage::TabCtrlChange);
}

void ChannelPage::TabCtrlChange() {
    const rv::ChannelConfig& shown = channel();
    MenuTIDA->setCurrentIndex(shown.SensorType < rv::kSensorTypeCount ? shown.SensorType : -1);
    MenuSHEMA->setCurrentIndex(shown.Scheme < rv::kSchemeCount ? shown.Scheme : -1);

    // Each emptied field finds its text invalid and shows the stored value.
    for (QLineEdit* field : {EdFrac, EdRt0, EdRLine, EdDelta, EdGist1, EdGist2, EdUsred, EdDiap1,
                             EdDiap2, EdUstav1, EdUstav2, EdAlarmLow, EdAlarmHigh}) {
        field->setText(QString());
    }
    BitSQRT->setChecked(channel().Flags & 1u);

    const uint16_t fitted = image_.data().ChannelsFitted;
    EChanInclude((fitted >> currentChannel()) & 1u);
    emit channelShown();
}

void ChannelPage::EChanInclude(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             MenuTIDA, MenuSHEMA, EdFrac, EdRt0, EdRLine, EdDelta, EdGist1, EdGist2, EdUsred,
             EdDiap1, EdDiap2, EdUstav1, EdUstav2, EdAlarmLow, EdAlarmHigh, Btn2X, BtnR0,
             BitSQRT}) {
        control->setEnabled(enabled);
    }
}

void ChannelPage::realFieldChange(QLineEdit* field, rv::WorkingReal rv::ChannelConfig::*member,
                                  int decimals) {
    rv::WorkingReal& stored = channel().*member;
    switch (rv::ParseTypedRealField(field->text().toStdString(), stored)) {
        case rv::RealText::Valid:
            edited();
            return;
        case rv::RealText::Overflow:
            runner_.boxes().overflow(window(), QString::fromUtf8(kOverflowText));
            return;
        case rv::RealText::Invalid: {
            // Showing the stored value is no edit: the rounded text must not go back into the
            // image, so a value read or measured stays exact until the user changes it.
            const QSignalBlocker quiet(field);
            field->setText(QString::fromStdString(rv::FormatRealField(stored, decimals)));
            return;
        }
    }
}

void ChannelPage::EdRt0Change() { realFieldChange(EdRt0, &rv::ChannelConfig::Rt0, 5); }
void ChannelPage::EdRLineChange() { realFieldChange(EdRLine, &rv::ChannelConfig::RLine, 5); }
void ChannelPage::EdDeltaChange() { realFieldChange(EdDelta, &rv::ChannelConfig::Delta, 5); }
void ChannelPage::EdDiap1Change() { realFieldChange(EdDiap1, &rv::ChannelConfig::Diap1, 5); }
void ChannelPage::EdDiap2Change() { realFieldChange(EdDiap2, &rv::ChannelConfig::Diap2, 5); }
void ChannelPage::EdUstav1Change() { realFieldChange(EdUstav1, &rv::ChannelConfig::Ustav1, 5); }
void ChannelPage::EdUstav2Change() { realFieldChange(EdUstav2, &rv::ChannelConfig::Ustav2, 5); }
void ChannelPage::EdGist1Change() { realFieldChange(EdGist1, &rv::ChannelConfig::Gist1, 3); }
void ChannelPage::EdGist2Change() { realFieldChange(EdGist2, &rv::ChannelConfig::Gist2, 3); }
void ChannelPage::EdAlarmLowChange() {
    realFieldChange(EdAlarmLow, &rv::ChannelConfig::AlarmLow, 5);
}
void ChannelPage::EdAlarmHighChange() {
    realFieldChange(EdAlarmHigh, &rv::ChannelConfig::AlarmHigh, 5);
}

void ChannelPage::EdFracChange() {
    std::int64_t value = 0;
    if (rv::ParseIntegerField(EdFrac->text().toStdString(), value) && value >= 0 && value <= 3) {
        channel().Frac = static_cast<uint8_t>(value);
        edited();
    }
    EdFrac->setText(QString::fromStdString(rv::FormatIntegerField(channel().Frac)));
    EdFrac->selectAll();
}

void ChannelPage::EdUsredChange() {
    std::int64_t value = 0;
    if (rv::ParseIntegerField(EdUsred->text().toStdString(), value) && value >= 0 &&
        value <= 9999) {
        channel().Usred = static_cast<uint16_t>(value);
        edited();
        return;
    }
    EdUsred->setText(QString::fromStdString(rv::FormatIntegerField(channel().Usred)));
}

void ChannelPage::MenuTIDAChange(int index) {
    channel().SensorType = static_cast<uint8_t>(index);
    edited();
}

void ChannelPage::MenuSHEMAChange(int index) {
    channel().Scheme = static_cast<uint8_t>(index);
    edited();
}

void ChannelPage::BitSQRTClick() {
    uint8_t& flags = channel().Flags;
    flags = static_cast<uint8_t>(BitSQRT->isChecked() ? (flags | 1u) : (flags & ~1u));
    edited();
}
