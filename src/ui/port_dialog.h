#pragma once

#include <QDialog>
#include <vector>

#include "ports/serial_devices.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace rv {
class PortSetup;
}

// "Устройства COM-портов": the four COM names with their devices and sources, the serial
// devices found on the machine, and a choice that is saved to the settings file. A name set
// by the command line or the environment is shown as such and cannot be changed here.
class PortDialog : public QDialog {
    Q_OBJECT
  public:
    PortDialog(rv::PortSetup& setup, std::vector<rv::SerialDevice> devices,
               QWidget* parent = nullptr);

    QTableWidget* PortTable = nullptr;  // COM name, device, source
    QListWidget* DeviceList = nullptr;  // the devices found; picking one fills DevicePath
    QLineEdit* DevicePath = nullptr;    // any device or pseudo-terminal
    QLabel* AccessNote = nullptr;       // the typed device's access problem, if any
    QComboBox* PortChoice = nullptr;    // the COM name to set
    QPushButton* BtnAssign = nullptr;   // saves DevicePath for PortChoice
    QPushButton* BtnDefault = nullptr;  // removes PortChoice's line from the settings file
    QLabel* Status = nullptr;           // what the last button did, or why it could not

  signals:
    // The mapping changed; the next opening of a port uses it.
    void mappingChanged();

  private:
    void showMapping();
    void fillDeviceList();
    void portChoiceChanged();
    void devicePathChanged();
    void assign(const std::string& device);

    rv::PortSetup& setup_;
    std::vector<rv::SerialDevice> devices_;
};
