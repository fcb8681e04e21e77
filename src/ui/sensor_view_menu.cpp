#include "ui/sensor_view_menu.h"

#include <QAction>
#include <QMenu>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "ui/WN1.h"
#include "ui/channel_page.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"
#include "ui/sensor_view.h"

SensorViewMenu::SensorViewMenu(TDeskForm& form, MainMenu& menu, ChannelPage& page)
    : QObject(&form), form_(form), page_(page) {
    menu_ = new QMenu(QString::fromUtf8("П&рибор"), &menu);
    menu_->setObjectName("InstrumentMenu");
    menu.insertMenu(menu.helpMenu()->menuAction(), menu_);
    view_ = menu_->addAction(QString::fromUtf8("&Наблюдение за датчиком…"));
    view_->setObjectName("SensorViewAction");
    connect(view_, &QAction::triggered, this, &SensorViewMenu::openSensorView);
    connect(menu_, &QMenu::aboutToShow, this, &SensorViewMenu::updateActions);
    connect(&form, &TDeskForm::configurationRead, this, [this] {
        readSucceeded_ = form_.image().LoadedId != 0;
        updateActions();
    });
    updateActions();
}

// A run the view still has ends with the view; the menu, going, no longer hears of it.
SensorViewMenu::~SensorViewMenu() {
    if (!sensorView_) return;
    disconnect(sensorView_.get(), nullptr, this, nullptr);
    sensorView_.reset();
}

void SensorViewMenu::updateActions() {
    view_->setEnabled(readSucceeded_ && form_.isEnabled() && !form_.searchActive() &&
                      !(sensorView_ && sensorView_->running()));
}

void SensorViewMenu::openSensorView() {
    updateActions();
    if (!view_->isEnabled()) return;
    const int channel = page_.currentChannel();
    if (!rv::CalibrationSubRange(page_.selectedSensorType())) {
        form_.boxes().information(
            &form_,
            QString::fromUtf8("Этот параметр используется только с термометрами сопротивления."));
        return;
    }
    if (sensorView_ && sensorView_->channelIndex() == channel) {
        sensorView_->show();
        sensorView_->raise();
        sensorView_->activateWindow();
        return;
    }
    SensorView::Host host;
    host.mainWindow = &form_;
    host.line = &form_.link();
    host.boxes = &form_.boxes();
    host.setup = [this, channel] {
        return rv::WatchSetupOf(form_.image().Channels[static_cast<size_t>(channel)], channel);
    };
    host.acceptR0 = [this, channel](double r) { page_.acceptR0(channel, r); };
    host.acceptLine = [this, channel](double r) { page_.acceptLineResistance(channel, r); };
    sensorView_ = std::make_unique<SensorView>(channel, std::move(host));
    connect(sensorView_.get(), &SensorView::runFinished, this, &SensorViewMenu::updateActions);
    sensorView_->show();
}
