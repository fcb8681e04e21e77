#pragma once

#include <QString>

#include "configfile/configuration_file.h"
#include "ui/image_source.h"

class MessageBoxes;
class OperationRunner;
class QWidget;

// What the configuration-file menu sees of the main window: what it reads, and the one change
// it makes, showing a configuration opened from a file.
class ConfigFileHost {
  public:
    virtual ~ConfigFileHost() = default;

    // The window its dialogs and boxes belong to, its operations disable and its title names
    // the file in.
    virtual QWidget& window() = 0;
    // Whether the window takes commands: enabled, and the line idle.
    virtual bool idle() const = 0;
    virtual const rv::ConfigImage& image() const = 0;
    virtual const ImageSource& source() const = 0;
    virtual MessageBoxes& boxes() = 0;
    // Its operations' frame, and through it the line and its settings.
    virtual OperationRunner& runner() = 0;

    // Makes the file's configuration the window's and shows it with the firmware `version`.
    virtual void showFile(const rv::ConfigurationFile& file, const QString& version) = 0;
    // The configuration shown is its source's, as the file `fileName` (empty: the instrument
    // read): the caption names it, and it holds no unsaved edits.
    virtual void showSource(const QString& fileName) = 0;
    // Asks whether to go on when unsaved edits would be lost; true to go on.
    virtual bool confirmDiscard() = 0;

  protected:
    ConfigFileHost() = default;
    ConfigFileHost(const ConfigFileHost&) = default;
    ConfigFileHost& operator=(const ConfigFileHost&) = default;
};
