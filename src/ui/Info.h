#pragma once

#include <QDialog>

class LineOwner;
class QProgressBar;
class QPushButton;

// The progress and cancel window of a running operation. It only shows and cancels: the
// cancel button asks the line's owner to cancel the running use.
class TInfoForm : public QDialog {
    Q_OBJECT
  public:
    TInfoForm(LineOwner& line, QWidget* parent = nullptr);

    // Gauge at 0 and visible, caption set, cancel enabled or not, shown without a modal loop.
    void startOperation(const QString& caption, bool cancellable);
    void setProgress(int percent);
    // Hides the gauge and the window and enables the cancel button again.
    void finishOperation();

    void BtnCancelClick();
    void FormDeactivate();

    // Esc and the window manager's close request leave the window up: only the operation
    // hides it, and only "Отмена" cancels.
    void reject() override {}

  protected:
    bool event(QEvent* e) override;

  private:
    QProgressBar* Stepper = nullptr;
    QPushButton* BtnCancel = nullptr;

    LineOwner& line_;
};
