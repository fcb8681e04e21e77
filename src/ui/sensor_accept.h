#pragma once

#include <QString>

#include "channel/settled_value.h"

class MessageBoxes;
class QWidget;

// What "Принять как R0" and "Принять как Rлинии" ask before storing a value: the field, the
// channel, the mean resistance of the stability window with its count and time. Before the
// sensor has settled over the window the question starts with a warning saying why (the drift
// and deviation against their limits, or a run shorter than the window) and is asked with
// "Отмена" the default. True when the user agrees; nothing is asked when there is nothing to
// take.
bool ConfirmSettledValue(MessageBoxes& boxes, QWidget* parent, const QString& field,
                         int channelIndex, const rv::SettledValue& value,
                         const rv::StabilityLimits& limits);
