#pragma once

#include <QFont>
#include <QWidget>
#include <array>

#include "config/image.h"
#include "ui/operation_runner.h"

class QCheckBox;
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
    TFormPASS* formPASS() { return formPASS_; }
    TFormRELE* formRELE() { return formRELE_; }
    int currentChannel() const;

    bool SearchActive = false;

    // Right column.
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
    QLabel* LabelMenu = nullptr;
    QComboBox* MenuPribor = nullptr;
    QProgressBar* Stepper = nullptr;
    QPushButton* BtnLoad = nullptr;
    QPushButton* BtnSave = nullptr;
    QLabel* Label5 = nullptr;
    TextSpinBox* Pribor = nullptr;
    QComboBox* MenuTecSPD = nullptr;
    QComboBox* MenuCOM = nullptr;
    QPushButton* BtnSearch = nullptr;

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

    // Bus settings and dialogs.
    void MenuCOMChange(int index);
    void MenuTecSPDChange(int index);
    void PriborChange();
    void BtnSearchClick();
    void MenuPriborChange(int index);
    void BtnPASSClick();
    // Makes the window address the instrument at a new network number and speed index.
    void followNetworkChange(int netNumber, int speedIndex);
    void BtnRELEClick();

    // Reading and writing the configuration.
    void BtnLoadClick();
    void BtnSaveClick();

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
    void createChannelPage();
    void setKeyboardOrder();
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
};
