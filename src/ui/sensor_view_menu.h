#pragma once

#include <QObject>
#include <memory>

class ChannelPage;
class MainMenu;
class QAction;
class QMenu;
class SensorView;
class SensorViewHost;

// The "Прибор" menu, after "Порт" (before "Линия"), with "Наблюдение за датчиком…": enabled once a
// read of the configuration has succeeded and while the line is idle, it opens the live view of the
// channel on the page. Types that the calibration refuses get the calibration's refusal and
// nothing is sent. A view of another channel takes the place of the open one only after a
// question when that one holds points.
class SensorViewMenu : public QObject {
    Q_OBJECT
  public:
    // Belongs to `parent`; `host`, `menu` and `page` outlive it.
    SensorViewMenu(SensorViewHost& host, MainMenu& menu, ChannelPage& page, QObject* parent);
    ~SensorViewMenu() override;

    QMenu* instrumentMenu() const { return menu_; }
    QAction* sensorViewAction() const { return view_; }
    // The view last opened (null before the first).
    SensorView* sensorView() const { return sensorView_.get(); }

    void updateActions();
    void openSensorView();
    // A read of the configuration has ended, whatever its outcome.
    void configurationRead();

  private:
    SensorViewHost& host_;
    ChannelPage& page_;
    QMenu* menu_ = nullptr;
    QAction* view_ = nullptr;
    bool readSucceeded_ = false;
    std::unique_ptr<SensorView> sensorView_;
};
