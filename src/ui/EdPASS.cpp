#include "ui/EdPASS.h"

TFormPASS::TFormPASS(rv::Link& link, rv::ConfigImage& image, TInfoForm& info,
                     MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), link_(link), image_(image), info_(info), boxes_(boxes) {
    setObjectName("FormPASS");
}
