#pragma once

#include <QFont>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "config/image.h"
#include "ports/port_map.h"
#include "ui/image_source.h"
#include "ui/operation_runner.h"
#include "ui/window_image.h"

class BusPanel;
class ChannelPage;
class LineOwner;
class MessageBoxes;
class QCheckBox;
class QDialog;
class QLabel;
class QPushButton;
class TextSpinBox;
class TFormPASS;
class TFormRELE;
class TInfoForm;
class TransferButtons;
class MainMenu;
class ConfigFileHost;
class ConfigFileMenu;
class LineMenu;
class SensorViewHost;
class SensorViewMenu;
class WindowCaption;

// The main window: the channel page, the bus panel and the transfer buttons (each a widget of
// its own), and the used channels, display time and dialog buttons of the right column. It owns
// the configuration image and wires its parts together. While the line is busy with any use
// but the search (which holds its own controls and is stopped from here), the window is
// disabled.
class TDeskForm : public QWidget {
    Q_OBJECT
  public:
    // The window's font: a 13-pixel sans that exists on the machine.
    static QFont windowFont();

    TDeskForm(LineOwner& line, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~TDeskForm() override;

    // The dialogs are created after the main window; it knows them from here on.
    void setDialogs(TFormRELE* rele, TFormPASS* pass, TInfoForm* info);
    // The devices behind COM1..COM4, for the port list.
    void setPortDevices(const rv::PortDevices& devices);

    rv::ConfigImage& image() { return image_.data(); }
    const rv::ConfigImage& image() const { return image_.data(); }
    // The image with its change notification.
    WindowImage& windowImage() { return image_; }
    LineOwner& line() { return line_; }
    MessageBoxes& boxes() { return boxes_; }
    OperationRunner& runner() { return runner_; }
    // The menu bar above the client area.
    MainMenu* mainMenu() { return mainMenu_; }
    // "Файл" menu items for configuration files.
    ConfigFileMenu* configFileMenu() { return configFileMenu_; }
    // "Линия" menu and the line files of "Файл": the line overview.
    LineMenu* lineMenu() { return lineMenu_; }
    // "Прибор" menu: the live view of a channel's sensor.
    SensorViewMenu* sensorViewMenu() { return sensorViewMenu_; }
    // The caption: where the configuration came from, and whether it holds unsaved edits.
    WindowCaption& caption() { return *caption_; }

    using Source = ImageSource;
    Source& source() { return source_; }
    // Asked before a write's confirmation; false stops the write.
    std::function<bool()> beforeWrite;

    bool searchActive() const;
    // Shows an image that did not come from a read (a configuration file): the version, the
    // used channels, the display time and the current channel's page.
    void showLoadedImage(const QString& version);

    // Start-up and window.
    void FormCreate();
    void CCClick(int index);
    void EdPauseChange();

    // The dialogs: each disables the window while it is up.
    void BtnPASSClick();
    void BtnRELEClick();

  signals:
    // The user closed the window, and no use of the line runs any more.
    void closed();
    // A read of the configuration has ended, whatever its outcome.
    void configurationRead();

  protected:
    // While the line is busy the running use is asked to stop, and the window closes once it
    // has ended; edits are not asked about then.
    void closeEvent(QCloseEvent* event) override;
    void FormClose();

  private:
    void createRightColumn();
    // The controls that follow the image once a channel is shown: the write, the relay dialog
    // and the boxes of the channels the instrument has.
    void showAvailability();
    void openDialog(QDialog* dialog);
    void dialogClosed();
    void lineBusy(bool busy);
    void holdForSearch();
    void releaseAfterSearch();
    void showVersion(const QString& version);
    void showDecodedBlock(int index);
    void setKeyboardOrder();
    // The control of this window with the given name.
    QWidget* named(const char* name) const;
    void setUsedChannelBoxes();

    LineOwner& line_;
    MessageBoxes& boxes_;
    OperationRunner runner_;
    WindowImage image_;
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
    ChannelPage* page_ = nullptr;
    BusPanel* bus_ = nullptr;
    TransferButtons* transfer_ = nullptr;
    MainMenu* mainMenu_ = nullptr;
    std::unique_ptr<ConfigFileHost> fileHost_;
    ConfigFileMenu* configFileMenu_ = nullptr;
    LineMenu* lineMenu_ = nullptr;
    std::unique_ptr<SensorViewHost> sensorHost_;
    SensorViewMenu* sensorViewMenu_ = nullptr;
    WindowCaption* caption_ = nullptr;
    Source source_;
    // Own enabled states of the controls the search holds, given back when it ends.
    std::vector<std::pair<QWidget*, bool>> heldForSearch_;
    // A close came while the line was busy: the window closes once it is idle.
    bool closeWhenIdle_ = false;
};
