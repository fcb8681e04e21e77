#pragma once

#include <QDialog>

namespace rv {
struct ConfigImage;
}

// The relay assignment dialog.
class TFormRELE : public QDialog {
    Q_OBJECT
public:
    explicit TFormRELE(rv::ConfigImage& image, QWidget* parent = nullptr);

private:
    rv::ConfigImage& image_;
};
