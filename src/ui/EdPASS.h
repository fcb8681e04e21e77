#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "config/image.h"
#include "line/journal.h"
#include "ui/operation_runner.h"

class LineOwner;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MessageBoxes;
class TInfoForm;
class WindowImage;

// The password and network-number dialog. Its two writes are uses of the line; while the line
// is busy with any use, their buttons are disabled.
class TFormPASS : public QDialog {
    Q_OBJECT
  public:
    TFormPASS(LineOwner& line, WindowImage& image, MessageBoxes& boxes, QWidget* parent = nullptr);

    // The progress window of the two writes, created after this dialog; without one the
    // writes run unseen.
    void setInfoForm(TInfoForm* info) { runner_.setInfoForm(info); }

    void FormActivate();
    void FormDeactivate();
    void Sym1Change();
    void Sym2Change();
    void Sym3Change();
    void Sym4Change();
    void EdSENOChange();
    void EdSENOClick();
    void MenuSPDChange(int index);
    void Button1Click();
    void BtnPASSClick();
    void BtnSENOClick();

    // The journal each write appends its entry to.
    std::function<std::string()> journalPath;

    // The password the four digit fields stand for.
    uint16_t passwordOfDigits() const;

    // Esc and the window manager's close request leave the dialog up: "Ok" is the only way
    // out, so the password on screen always reaches the image.
    void reject() override {}

  signals:
    // A network write succeeded: the instrument now answers at this number and speed index.
    void networkChanged(int netNumber, int speedIndex);
    // The dialog went away by "Ok".
    void hidden();

  protected:
    bool event(QEvent* e) override;
    // Runs one of the two writes of `image` and appends its entry to the journal.
    std::optional<rv::Outcome> recordedWrite(
        LineTask task, rv::WriteKind kind, const rv::ConfigImage& image,
        const std::function<rv::Outcome(rv::Link&, const std::function<void(int)>&)>& write);
    void hideEvent(QHideEvent* e) override;

  private:
    QLabel* Label1 = nullptr;
    QLineEdit* Sym1 = nullptr;
    QLineEdit* Sym2 = nullptr;
    QLineEdit* Sym3 = nullptr;
    QLineEdit* Sym4 = nullptr;
    QPushButton* BtnPASS = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EdSENO = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* MenuSPD = nullptr;
    QPushButton* BtnSENO = nullptr;
    QPushButton* Button1 = nullptr;

    std::array<QLineEdit*, 4> digits() const { return {Sym1, Sym2, Sym3, Sym4}; }
    // The digit field at `position` (0: Sym1) after its text changed: one hex digit or the
    // digit it held.
    void digitChange(size_t position);

    // Follows the line's busy and idle.
    void lineBusy(bool busy);

    WindowImage& image_;
    MessageBoxes& boxes_;
    OperationRunner runner_;
    // The value each digit field stands for, Sym1 first.
    std::array<int, 4> digitValues_{};
    // Whether the next activation reloads the fields from the image: when the dialog opens
    // and when a window of this program gives the activation back, not after another
    // application had it.
    bool reloadOnActivate_ = true;
};
