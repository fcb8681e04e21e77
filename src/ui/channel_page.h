#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "config/image.h"

class OperationRunner;
class WindowImage;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabBar;

// The tab strip of the main window with the one page that shows the current channel's
// settings. Each field stores into the image only when the user changes its text; the two
// "Clb" buttons measure the sensor's and the line's resistance.
class ChannelPage : public QWidget {
    Q_OBJECT
  public:
    ChannelPage(WindowImage& image, OperationRunner& runner, QWidget* parent);

    // The channel shown, 0..7.
    int currentChannel() const;
    // The sensor type chosen in the selector (-1: none), which the calibrations admit or refuse.
    int selectedSensorType() const;

    // Shows the current channel from the image, editable only when the instrument has it.
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
    // Store a measured resistance of channel `channel` as the calibrations do: as R0, with
    // the line's resistance taken off in the two-wire scheme, or as the line's resistance.
    // The page shows the new value when it shows that channel.
    void acceptR0(int channel, long double measured);
    void acceptLineResistance(int channel, long double measured);

  signals:
    // A channel has been shown; the window brings the controls that follow the image up to date.
    void channelShown();

  private:
    void createPage();
    void realFieldChange(QLineEdit* field, rv::WorkingReal rv::ChannelConfig::*member,
                         int decimals);
    rv::ChannelConfig& channel();
    // The image has been changed by a field of the page.
    void edited();
    // The calibration sub-range of the type chosen in the selector, after the refusal box when
    // the type has none.
    std::optional<int> admittedSubRange();
    bool twoWire() const;
    // Runs the measurement in the operation frame; `store` takes the resistance when one was
    // measured, before the window is given back.
    void measure(int subRange, const std::function<void(long double)>& store);

    WindowImage& image_;
    OperationRunner& runner_;

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
};
