#pragma once

#include "config/image.h"

class LineOwner;
class MessageBoxes;
class QWidget;

// What the "Прибор" menu and the sensor views it opens see of the main window.
class SensorViewHost {
  public:
    virtual ~SensorViewHost() = default;

    // The window the menu's boxes belong to.
    virtual QWidget& window() = 0;
    // Whether the window takes commands now (enabled: no dialog or operation of its own).
    virtual bool idle() const = 0;
    virtual const rv::ConfigImage& image() const = 0;
    virtual MessageBoxes& boxes() = 0;
    virtual LineOwner& line() = 0;

  protected:
    SensorViewHost() = default;
    SensorViewHost(const SensorViewHost&) = default;
    SensorViewHost& operator=(const SensorViewHost&) = default;
};
