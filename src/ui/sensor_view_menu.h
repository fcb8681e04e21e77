#pragma once

#include <QObject>
#include <memory>

class ChannelPage;
class MainMenu;
class QAction;
class QMenu;
class SensorView;
class TDeskForm;

// The "Прибор" menu, after "Порт", with "Наблюдение за датчиком…": enabled once a read of the
// configuration has succeeded, it opens the live view of the channel on the page. Types that
// the calibration refuses get the calibration's refusal and nothing is sent.
class SensorViewMenu : public QObject {
    Q_OBJECT
  public:
    SensorViewMenu(TDeskForm& form, MainMenu& menu, ChannelPage& page);
    ~SensorViewMenu() override;

    QMenu* instrumentMenu() const { return menu_; }
    QAction* sensorViewAction() const { return view_; }
    // The view last opened (null before the first).
    SensorView* sensorView() const { return sensorView_.get(); }

    void updateActions();
    void openSensorView();

  private:
    TDeskForm& form_;
    ChannelPage& page_;
    QMenu* menu_ = nullptr;
    QAction* view_ = nullptr;
    bool readSucceeded_ = false;
    std::unique_ptr<SensorView> sensorView_;
};
