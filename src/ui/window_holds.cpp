#include "ui/window_holds.h"

#include <QVariant>
#include <QWidget>

namespace {

const char* const kHolds = "rv740xHolds";

}  // namespace

void SetHeld(QWidget& window, Hold reason, bool held) {
    unsigned holds = window.property(kHolds).toUInt();
    const auto bit = static_cast<unsigned>(reason);
    holds = held ? holds | bit : holds & ~bit;
    window.setProperty(kHolds, holds);
    window.setEnabled(holds == 0);
}
