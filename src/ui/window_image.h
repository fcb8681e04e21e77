#pragma once

#include <QObject>

#include "config/image.h"

// The configuration image the window shows and edits, owned by the main window. Whatever
// changes it says so, and what follows the image (the caption's mark of unsaved edits) hears it.
class WindowImage : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    rv::ConfigImage& data() { return image_; }
    const rv::ConfigImage& data() const { return image_; }
    // Called after a change made through data().
    void edited() { emit changed(); }
    void replace(const rv::ConfigImage& image) {
        image_ = image;
        emit changed();
    }

  signals:
    void changed();

  private:
    rv::ConfigImage image_;
};
