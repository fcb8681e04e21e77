#pragma once

#include <QFont>
#include <QWidget>
#include <array>
#include <utility>
#include <vector>

#include "config/image.h"
#include "ui/operation_runner.h"

class BusPanel;
class QCheckBox;
class QDialog;
class TransferButtons;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabBar;
class TextSpinBox;
class MessageBoxes;
class TFormPASS;
class TFormRELE;
class TInfoForm;

namespace rv {
struct Link;
}

// The main window: bus settings, read and write, used channels, display time and the page
// of the current channel. It owns the configuration image.
class TDeskForm : public QWidget {
    Q_OBJECT
public:
    // The window's font: a 13-pixel sans that exists on the machine.
    static QFont windowFont();

    TDeskForm(rv::Link& link, MessageBoxes& boxes, QWidget* parent = nullptr);

    // The dialogs are created after the main window; it knows them from here on.
    void setDialogs(TFormRELE* rele, TFormPASS* pass, TInfoForm* info);

    rv::Link& link() { return link_; }
    rv::ConfigImage& image() { return image_; }
    MessageBoxes& boxes() { return boxes_; }
    OperationRunner& runner() { return runner_; }
    int currentChannel() const;

    // Channel page: the tab strip holds the one page that shows the current channel.
    QWidget* TabCtrl = nullptr;
    QTabBar* TabBar = nullptr;
    QComboBox* MenuTIDA = nullptr;
    QComboBox* MenuSHEMA = nullptr;
    QLineEdit* EdFrac = nullptr;
    QLineEdit* EdRt0 = nullptr;
    QPushButton* BtnR0 = nullptr;
    QLineEdit* EdRLine = nullptr;
    QPushButton* Btn2X = nullptr;
    QLineEdit* EdDelta = nullptr;
    QLineEdit* EdUsred = nullptr;
    QLineEdit* EdDiap1 = nullptr;
    QLineEdit* EdDiap2 = nullptr;
    QCheckBox* BitSQRT = nullptr;
    QLineEdit* EdUstav1 = nullptr;
    QLineEdit* EdGist1 = nullptr;
    QLineEdit* EdUstav2 = nullptr;
    QLineEdit* EdGist2 = nullptr;
    QLineEdit* EdAlarmLow = nullptr;
    QLineEdit* EdAlarmHigh = nullptr;

    // Start-up and window.
    void FormCreate();
    void CCClick(int index);
    void EdPauseChange();

    // The dialogs: each disables the window while it is up.
    void BtnPASSClick();
    void BtnRELEClick();

    // Channel page.
    void TabCtrlChange();
    void EChanInclude(bool enabled);
    void MenuTIDAChange(int index);
    void MenuSHEMAChange(int index);
    void EdFracChange();
    void EdUsredChange();
    void EdRt0Change();
    void EdRLineChange();
    void EdDeltaChange();
    void EdDiap1Change();
    void EdDiap2Change();
    void EdUstav1Change();
    void EdUstav2Change();
    void EdGist1Change();
    void EdGist2Change();
    void EdAlarmLowChange();
    void EdAlarmHighChange();
    void BitSQRTClick();

    // Calibration measurements.
    void BtnR0Click();
    void Btn2XClick();

signals:
    // The user closed the window; any running operation has been asked to stop.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void FormClose();

private:
    void createRightColumn();
    void openDialog(QDialog* dialog);
    void dialogClosed();
    void holdForSearch();
    void releaseAfterSearch();
    void showVersion(const QString& version);
    void showDecodedBlock(int index);
    void createChannelPage();
    void setKeyboardOrder();
    // The control of this window with the given name.
    QWidget* named(const char* name) const;
    void realFieldChange(QLineEdit* field, rv::WorkingReal rv::ChannelConfig::*member,
                         int decimals);
    void setUsedChannelBoxes();
    rv::ChannelConfig& channel();

    rv::Link& link_;
    MessageBoxes& boxes_;
    OperationRunner runner_;
    rv::ConfigImage image_;
    TFormRELE* formRELE_ = nullptr;
    TFormPASS* formPASS_ = nullptr;

    QLabel* Label6 = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* Label4 = nullptr;
    std::array<QCheckBox*, rv::kChannelCount> CC{};
    QLabel* Label14 = nullptr;
    QLabel* Label13 = nullptr;
    TextSpinBox* EdPause = nullptr;
    QLabel* LbPause = nullptr;
    QPushButton* BtnPASS = nullptr;
    QPushButton* BtnRELE = nullptr;
    BusPanel* bus_ = nullptr;
    TransferButtons* transfer_ = nullptr;
    // Own enabled states of the controls the search holds, given back when it ends.
    std::vector<std::pair<QWidget*, bool>> heldForSearch_;
};
