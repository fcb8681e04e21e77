#pragma once

#include <QWidget>
#include <string>

#include "ports/port_map.h"

class LineOwner;
class MessageBoxes;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TextSpinBox;

// The bus settings of the main window: the port, the speed, the addressed instrument's number,
// and the search of the line with the list of the instruments it found. Every change goes
// straight to the line's settings, which the next use of the line copies.
class BusPanel : public QWidget {
    Q_OBJECT
  public:
    BusPanel(LineOwner& line, MessageBoxes& boxes, QWidget* parent);

    // COM2 at 9600 baud, as the program starts.
    void selectStartupLine();
    bool searchActive() const { return SearchActive; }
    // Makes the panel address the instrument at a new network number and speed index.
    void followNetworkChange(int netNumber, int speedIndex);
    // The devices behind COM1..COM4; the chosen one becomes the line's device.
    void setPortDevices(const rv::PortDevices& devices);
    // The port chosen, as a line file names it: "COM2".
    std::string portName() const;
    // Chooses the port a line file names: COM1..COM4, or the device one of them stands for.
    // Empty once chosen; otherwise why not, in Russian, and the choice stays as it was.
    std::string choosePort(const std::string& port);

    void MenuCOMChange(int index);
    void MenuTecSPDChange(int index);
    void PriborChange();
    void BtnSearchClick();
    void MenuPriborChange(int index);

  signals:
    // The rest of the window holds its controls while the search runs, and gives them back.
    void searchStarted();
    void searchFinished();
    // "Номер прибора" now addresses another instrument.
    void addressChanged();

  private:
    LineOwner& line_;
    MessageBoxes& boxes_;
    bool SearchActive = false;
    rv::PortDevices portDevices_{rv::DefaultDevice(0), rv::DefaultDevice(1), rv::DefaultDevice(2),
                                 rv::DefaultDevice(3)};

    QLabel* LabelMenu = nullptr;
    QComboBox* MenuPribor = nullptr;
    QProgressBar* Stepper = nullptr;
    QLabel* Label5 = nullptr;
    TextSpinBox* Pribor = nullptr;
    QComboBox* MenuTecSPD = nullptr;
    QComboBox* MenuCOM = nullptr;
    QPushButton* BtnSearch = nullptr;
};
