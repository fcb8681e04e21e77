#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <array>

#include "ops/search.h"
#include "link/status.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"
#include "ui/text_spin_box.h"

namespace {

// Ends a local event loop when the watched dialog hides.
class HideWatcher : public QObject {
  public:
    HideWatcher(QWidget* dialog, QEventLoop& loop) : dialog_(dialog), loop_(loop) {
        dialog_->installEventFilter(this);
    }
    ~HideWatcher() override { dialog_->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Hide) loop_.quit();
        return false;
    }

  private:
    QWidget* dialog_;
    QEventLoop& loop_;
};

// The main window waits, disabled, while the dialog is up; the dialog closes by hiding.
void showAndWait(QWidget& mainWindow, QDialog& dialog) {
    mainWindow.setEnabled(false);
    QEventLoop loop;
    const HideWatcher watcher(&dialog, loop);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.isVisible()) loop.exec();
    mainWindow.setEnabled(true);
    mainWindow.activateWindow();
    mainWindow.setFocus();
}

// The widget's own enabled setting, whatever its parents' states.
bool ownEnabled(const QWidget* widget) { return !widget->testAttribute(Qt::WA_ForceDisabled); }

}  // namespace

void TDeskForm::BtnSearchClick() {
    if (SearchActive) {
        // Runs nested inside the waiting probe: only ask the running search to stop.
        link_.CancelFlag = true;
        return;
    }
    SearchActive = true;
    BtnSearch->setText(QString::fromUtf8("О С Т А Н О В."));

    const std::array<QWidget*, 17> controls{MenuTecSPD, MenuCOM, Pribor,  BtnLoad, BtnSave, BtnRELE,
                                            BtnPASS,    EdPause, TabCtrl, CC[0],   CC[1],   CC[2],
                                            CC[3],      CC[4],   CC[5],   CC[6],   CC[7]};
    std::array<bool, controls.size()> wasEnabled{};
    for (size_t i = 0; i < controls.size(); ++i) {
        wasEnabled[i] = ownEnabled(controls[i]);
        controls[i]->setEnabled(false);
    }

    MenuPribor->show();
    LabelMenu->show();
    Stepper->setValue(0);
    Stepper->show();
    MenuPribor->clear();
    repaint();

    rv::SearchObserver observer;
    observer.progress = [this](int percent) { Stepper->setValue(percent); };
    observer.found = [this](unsigned netNumber) {
        MenuPribor->addItem(QString::number(netNumber));
        MenuPribor->setCurrentIndex(0);
    };
    const rv::Outcome outcome =
        rv::SearchLine(link_, rv::SearchTimeoutOfSpeedIndex(MenuTecSPD->currentIndex()), observer);
    if (outcome == rv::Outcome::Failed && link_.LinkStatus != 0)
        boxes_.error(this, QString::fromStdString(rv::StatusText(link_.LinkStatus)));

    BtnSearch->setText(QString::fromUtf8("П о и с к"));
    Stepper->hide();
    for (size_t i = 0; i < controls.size(); ++i) controls[i]->setEnabled(wasEnabled[i]);
    SearchActive = false;
    PriborChange();
}

void TDeskForm::MenuPriborChange(int index) {
    if (SearchActive || index < 0) return;
    Pribor->setValue(MenuPribor->itemText(index).toInt());
    PriborChange();
}

// A window not yet given its dialogs has nothing to open.
void TDeskForm::BtnPASSClick() {
    if (formPASS_) showAndWait(*this, *formPASS_);
}

void TDeskForm::followNetworkChange(int netNumber, int speedIndex) {
    Pribor->setValue(netNumber);
    MenuTecSPD->setCurrentIndex(speedIndex);
    MenuTecSPDChange(speedIndex);
}

void TDeskForm::BtnRELEClick() {
    if (formRELE_) showAndWait(*this, *formRELE_);
}
