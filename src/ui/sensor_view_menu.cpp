#include "ui/sensor_view_menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "ui/channel_page.h"
#include "ui/line_owner.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"
#include "ui/sensor_view.h"
#include "ui/sensor_view_host.h"

SensorViewMenu::SensorViewMenu(SensorViewHost& host, MainMenu& menu, ChannelPage& page,
                               QObject* parent)
    : QObject(parent), host_(host), page_(page) {
    menu_ = new QMenu(QString::fromUtf8("П&рибор"), &menu);
    menu_->setObjectName("InstrumentMenu");
    menu.insertMenu(menu.lineMenu()->menuAction(), menu_);
    view_ = menu_->addAction(QString::fromUtf8("&Наблюдение за датчиком…"));
    view_->setObjectName("SensorViewAction");
    connect(view_, &QAction::triggered, this, &SensorViewMenu::openSensorView);
    connect(menu_, &QMenu::aboutToShow, this, &SensorViewMenu::updateActions);
    connect(&host_.line(), &LineOwner::busyChanged, this, &SensorViewMenu::updateActions);
    updateActions();
}

// The view goes with the menu; a run it still has is cancelled and ends on its own.
SensorViewMenu::~SensorViewMenu() {
    if (!sensorView_) return;
    disconnect(sensorView_.get(), nullptr, this, nullptr);
    sensorView_.reset();
}

void SensorViewMenu::configurationRead() {
    readSucceeded_ = host_.image().LoadedId != 0;
    updateActions();
}

void SensorViewMenu::updateActions() {
    view_->setEnabled(readSucceeded_ && host_.idle() && !host_.line().busy());
}

void SensorViewMenu::openSensorView() {
    updateActions();
    if (!view_->isEnabled()) return;
    const int channel = page_.currentChannel();
    if (!rv::CalibrationSubRange(page_.selectedSensorType())) {
        host_.boxes().information(&host_.window(),
                                  QString::fromUtf8(rv::kOnlyResistanceThermometers));
        return;
    }
    if (sensorView_ && sensorView_->channelIndex() == channel) {
        sensorView_->show();
        sensorView_->raise();
        sensorView_->activateWindow();
        return;
    }
    // The points of the open view are lost with it: not unasked.
    if (sensorView_ && !sensorView_->series().empty() &&
        !host_.boxes().confirmRisky(
            &host_.window(), QString::fromUtf8("Окно наблюдения за каналом %1 закроется, его "
                                               "точки будут потеряны. Продолжить?")
                                 .arg(sensorView_->channelIndex() + 1)))
        return;
    SensorView::Host host;
    host.line = &host_.line();
    host.boxes = &host_.boxes();
    host.setup = [this, channel] {
        return rv::WatchSetupOf(host_.image().Channels[static_cast<size_t>(channel)], channel);
    };
    host.acceptR0 = [this, channel](double r) { page_.acceptR0(channel, r); };
    host.acceptLine = [this, channel](double r) { page_.acceptLineResistance(channel, r); };
    sensorView_ = std::make_unique<SensorView>(channel, std::move(host));
    connect(sensorView_.get(), &SensorView::runFinished, this, &SensorViewMenu::updateActions);
    sensorView_->show();
}
