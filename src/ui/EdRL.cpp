#include "ui/EdRL.h"

TFormRELE::TFormRELE(rv::ConfigImage& image, QWidget* parent) : QDialog(parent), image_(image) {
    setObjectName("FormRELE");
}
