#pragma once

#include <QObject>
#include <QString>

#include "config/image.h"

class MessageBoxes;
class QWidget;
class WindowImage;
struct ImageSource;
namespace rv {
struct LineSettings;
}

// The main window's caption: the program's own title, then where the configuration shown
// came from (the model, number and identity of the instrument read, or the file opened), with
// a leading "*" while the configuration holds edits neither written nor saved. When "Номер
// прибора" addresses another instrument than the one the configuration is of, the caption
// adds "; адресован прибор № N".
//
// An edit is any difference from the configuration as last read, opened, saved or written,
// so an edit undone by hand is no edit. The password and network fields are left out: their
// dialogs write them at once. The caption follows every change of the image as it is made.
class WindowCaption : public QObject {
    Q_OBJECT
  public:
    // Captions `window`, whose configuration is `image`, come from `source`, on the line whose
    // settings are `line` (the addressed instrument). `update` follows a change of the address.
    WindowCaption(QWidget& window, const WindowImage& image, const ImageSource& source,
                  const rv::LineSettings& line, MessageBoxes& boxes);

    // The configuration shown is now the one of its source: no edits.
    void markClean();
    // The file the configuration came from or was saved to; empty for the instrument.
    void setFileName(const QString& fileName);
    // Whether a loaded configuration holds edits neither written nor saved.
    bool hasUnsavedEdits() const;
    // Asks whether to go on when edits would be lost; true to go on.
    bool confirmDiscard();
    // "RV7408 № 1, ID 0A1B2C" for the configuration shown; empty when none is loaded.
    QString sourceText() const;

    void update();

  private:
    QWidget& window_;
    const WindowImage& image_;
    const ImageSource& source_;
    const rv::LineSettings& line_;
    MessageBoxes& boxes_;
    QString baseTitle_;
    QString fileName_;
    rv::ConfigImage clean_;
};
