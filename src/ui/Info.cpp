#include "ui/Info.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "ui/line_owner.h"

namespace {

constexpr int kClientWidth = 242;
constexpr int kClientHeight = 48;

// A navy bar whose percentage stays readable where the bar has reached it: the text is white
// over the bar and black beside it.
class Gauge : public QProgressBar {
  public:
    using QProgressBar::QProgressBar;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect frame = rect().adjusted(0, 0, -1, -1);
        const QRect inside = frame.adjusted(1, 1, 0, 0);
        const int span = maximum() - minimum();
        const int reached = span > 0 ? inside.width() * (value() - minimum()) / span : 0;
        const QRect bar(inside.left(), inside.top(), reached, inside.height());

        painter.fillRect(inside, Qt::white);
        painter.fillRect(bar, QColor(0, 0, 128));
        painter.setPen(Qt::gray);
        painter.drawRect(frame);

        const QString shown = text();
        painter.setPen(Qt::black);
        painter.setClipRect(inside.adjusted(reached, 0, 0, 0));
        painter.drawText(inside, Qt::AlignCenter, shown);
        painter.setPen(Qt::white);
        painter.setClipRect(bar);
        painter.drawText(inside, Qt::AlignCenter, shown);
    }
};

}  // namespace

TInfoForm::TInfoForm(LineOwner& line, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      line_(line) {
    setObjectName("InfoForm");
    setFixedSize(kClientWidth, kClientHeight);

    Stepper = new Gauge(this);
    Stepper->setObjectName("Stepper");
    Stepper->setRange(0, 100);
    Stepper->setValue(0);
    Stepper->setTextVisible(true);
    Stepper->setFormat("%p%");
    Stepper->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    Stepper->setFont(bold);
    Stepper->setGeometry(8, 12, 140, 24);
    Stepper->hide();

    BtnCancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    BtnCancel->setObjectName("BtnCancel");
    BtnCancel->setGeometry(158, 11, 76, 26);
    connect(BtnCancel, &QPushButton::clicked, this, &TInfoForm::BtnCancelClick);
}

void TInfoForm::startOperation(const QString& caption, bool cancellable) {
    Stepper->setValue(0);
    Stepper->show();
    setWindowTitle(caption);
    BtnCancel->setEnabled(cancellable);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void TInfoForm::setProgress(int percent) { Stepper->setValue(percent); }

void TInfoForm::finishOperation() {
    Stepper->hide();
    BtnCancel->setEnabled(true);
    hide();
}

void TInfoForm::BtnCancelClick() {
    line_.cancel();
    hide();
}

void TInfoForm::FormDeactivate() {
    // Only a window of this program taking over counts, not another application.
    const QWidget* active = QApplication::activeWindow();
    if (active && active != this) hide();
}

bool TInfoForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowDeactivate) FormDeactivate();
    return QDialog::event(e);
}
