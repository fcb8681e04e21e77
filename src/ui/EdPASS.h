#pragma once

#include <QDialog>
#include <functional>

class MessageBoxes;
class TInfoForm;

namespace rv {
struct Link;
struct ConfigImage;
}  // namespace rv

// The password and network-number dialog.
class TFormPASS : public QDialog {
    Q_OBJECT
public:
    TFormPASS(rv::Link& link, rv::ConfigImage& image, TInfoForm& info, MessageBoxes& boxes,
              QWidget* parent = nullptr);

    // Called after a successful network write so the main window addresses the instrument
    // at its new number and speed index.
    std::function<void(int netNumber, int speedIndex)> networkChanged;

private:
    rv::Link& link_;
    rv::ConfigImage& image_;
    TInfoForm& info_;
    MessageBoxes& boxes_;
};
