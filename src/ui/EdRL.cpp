#include "ui/EdRL.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <iterator>

#include "config/image.h"
#include "config/relay_table.h"
#include "ui/window_image.h"

namespace {

constexpr int kCellWidth = 59;
constexpr int kCellHeight = 20;
constexpr int kCellLeft = 110;
constexpr int kCellTop = 22;
constexpr int kRelayStep = 65;
constexpr int kChannelStep = 88;
constexpr int kEventStep = 21;
constexpr int kChannels = 8;
constexpr int kEvents = 3;

constexpr int kScrollLeft = 8;
constexpr int kScrollTop = 30;
constexpr int kScrollHeight = 420;
constexpr int kContentWidth = kCellLeft + kRelayStep * (TFormRELE::kRelays - 1) + kCellWidth + 6;
constexpr int kContentHeight = kChannelStep * kChannels + 4;

struct CodeLook {
    const char* text;
    QColor colour;  // invalid: the button face of the palette
};

const CodeLook kSetPointLooks[] = {
    {"Нет", QColor()},
    {"Нижняя", QColor(0, 255, 255)},
    {"Верхняя", QColor(255, 0, 255)},
    {"Выкл", QColor(0, 255, 0)},
};
const CodeLook kFaultLooks[] = {
    {"Нет", QColor()},
    {"Вкл", QColor(255, 0, 0)},
    {"Выкл", QColor(0, 255, 0)},
};

bool isFaultCell(int index) { return rv::IsFaultEvent(index % TFormRELE::kEventsPerRelay); }

}  // namespace

TFormRELE::TFormRELE(WindowImage& image, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      image_(image) {
    setObjectName("FormRELE");
    setWindowTitle(QString::fromUtf8("Управление коммутацией РЕЛЕ"));
    setAttribute(Qt::WA_WindowPropagation);
    FormCreate();
}

void TFormRELE::FormCreate() {
    PopUstav = new QMenu(this);
    PopUstav->setObjectName("PopUstav");
    PopError = new QMenu(this);
    PopError->setObjectName("PopError");
    auto addItem = [this](QMenu* menu, const char* name, const char* caption,
                          void (TFormRELE::*handler)()) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    N1 = addItem(PopUstav, "N1", "Нет", &TFormRELE::N1Click);
    N2 = addItem(PopUstav, "N2", "Нижняя", &TFormRELE::N2Click);
    N3 = addItem(PopUstav, "N3", "Верхняя", &TFormRELE::N3Click);
    N4 = addItem(PopUstav, "N4", "Выкл", &TFormRELE::N4Click);
    E1 = addItem(PopError, "E1", "Нет", &TFormRELE::E1Click);
    E2 = addItem(PopError, "E2", "Вкл", &TFormRELE::E2Click);
    E3 = addItem(PopError, "E3", "Выкл", &TFormRELE::E3Click);

    Scroll = new QScrollArea(this);
    Scroll->setObjectName("Scroll");
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* content = new QWidget;
    content->setObjectName("ScrollContent");
    content->setFixedSize(kContentWidth, kContentHeight);

    QFont bold = font();
    bold.setBold(true);
    for (int c = 0; c < kChannels; ++c) {
        auto* group = new QGroupBox(QString::fromUtf8("Канал  %1").arg(c + 1), content);
        group->setObjectName(QString("GroupBox%1").arg(c + 1));
        group->setGeometry(4, kChannelStep * c + 4, kCellLeft - 10, kChannelStep - 4);
        const char* const rows[] = {"Уставка 1", "Уставка 2", "Ошибка"};
        for (int e = 0; e < kEvents; ++e) {
            auto* label = new QLabel(QString::fromUtf8(rows[e]), group);
            label->setGeometry(8, kCellTop - 4 + kEventStep * e, kCellLeft - 20, kCellHeight);
        }
    }

    for (int r = 0; r < kRelays; ++r) {
        for (int c = 0; c < kChannels; ++c) {
            for (int e = 0; e < kEvents; ++e) {
                const int index = kEventsPerRelay * r + kEvents * c + e;
                auto* cell = new QLabel(content);
                cell->setObjectName(QString("RelayCell%1").arg(index));
                cell->setGeometry(kCellLeft + kRelayStep * r,
                                  kCellTop + kChannelStep * c + kEventStep * e, kCellWidth,
                                  kCellHeight);
                cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                cell->setAlignment(Qt::AlignCenter);
                cell->setAutoFillBackground(true);
                cell->setContextMenuPolicy(Qt::CustomContextMenu);
                connect(cell, &QWidget::customContextMenuRequested, this,
                        [this, cell, index](const QPoint& pos) {
                            popupCellMenu(index, cell->mapToGlobal(pos));
                        });
                RelayCell[index] = cell;
                setCell(index, 0);
            }
        }
    }
    Scroll->setWidget(content);

    const int frame = 2 * Scroll->frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Scroll);
    Scroll->setGeometry(kScrollLeft, kScrollTop, kContentWidth + frame + scrollBar, kScrollHeight);

    for (int r = 0; r < kRelays; ++r) {
        auto* label = new QLabel(QString::fromUtf8("Реле%1").arg(r + 1), this);
        label->setObjectName(QString("LabelRelay%1").arg(r + 1));
        label->setFont(bold);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(kScrollLeft + Scroll->frameWidth() + kCellLeft + kRelayStep * r, 8,
                           kCellWidth, 18);
        RelayLabel[r] = label;
    }

    BtnER = new QPushButton(QStringLiteral("Ok"), this);
    BtnER->setObjectName("BtnER");
    const int right = Scroll->geometry().right();
    BtnER->setGeometry(right + 12, kScrollTop + kScrollHeight - 28, 72, 28);
    connect(BtnER, &QPushButton::clicked, this, &TFormRELE::BtnERClick);

    setFixedSize(BtnER->geometry().right() + 12, kScrollTop + kScrollHeight + 10);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

int TFormRELE::cellCode(int index) const { return cellCodes_[static_cast<size_t>(index)]; }

void TFormRELE::setCell(int index, int code) {
    // A fault has no code 3: it shows as none and goes back as 0.
    if (isFaultCell(index) && code >= static_cast<int>(std::size(kFaultLooks))) code = 0;
    QLabel* cell = RelayCell[index];
    const CodeLook& look = isFaultCell(index) ? kFaultLooks[code] : kSetPointLooks[code];
    cellCodes_[static_cast<size_t>(index)] = code;
    cell->setText(QString::fromUtf8(look.text));
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Window,
                     look.colour.isValid() ? look.colour : this->palette().color(QPalette::Button));
    cell->setPalette(palette);
}

void TFormRELE::popupCellMenu(int index, const QPoint& globalPos) {
    popupCell_ = index;
    (isFaultCell(index) ? PopError : PopUstav)->popup(globalPos);
}

void TFormRELE::chooseCode(int code) {
    if (popupCell_ >= 0) setCell(popupCell_, code);
}

void TFormRELE::N1Click() { chooseCode(0); }
void TFormRELE::N2Click() { chooseCode(1); }
void TFormRELE::N3Click() { chooseCode(2); }
void TFormRELE::N4Click() { chooseCode(3); }
void TFormRELE::E1Click() { chooseCode(0); }
void TFormRELE::E2Click() { chooseCode(1); }
void TFormRELE::E3Click() { chooseCode(2); }

void TFormRELE::Pack() {
    for (int index = 0; index < kCells; ++index)
        rv::SetRelayCode(image_.data().RelayTable, index / kEventsPerRelay, index % kEventsPerRelay,
                         cellCode(index));
    image_.edited();
}

void TFormRELE::UnPack() {
    for (int index = 0; index < kCells; ++index)
        setCell(index, rv::RelayCode(image_.data().RelayTable, index / kEventsPerRelay,
                                     index % kEventsPerRelay));
}

void TFormRELE::FormShow() {
    UnPack();
    for (int r = 0; r < kRelays; ++r) {
        const bool fitted = (image_.data().RelayMask >> r) & 1u;
        for (int n = 0; n < kEventsPerRelay; ++n)
            RelayCell[kEventsPerRelay * r + n]->setVisible(fitted);
    }
}

void TFormRELE::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

void TFormRELE::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    emit hidden();
}

void TFormRELE::BtnERClick() {
    hide();
    Pack();
}

void TFormRELE::FormDeactivate() {
    // Only a window of this program taking over counts, not another application; a dialog
    // already hidden has packed its cells.
    const QWidget* active = QApplication::activeWindow();
    if (!isVisible() || !active || active == this) return;
    hide();
    Pack();
}

bool TFormRELE::event(QEvent* e) {
    if (e->type() == QEvent::WindowDeactivate) FormDeactivate();
    return QDialog::event(e);
}
