#pragma once

#include "config/transfer.h"

// Where the window's configuration came from: the instrument of the last read, or a file
// (then a write restores the file's raw bytes).
struct ImageSource {
    rv::InstrumentRecord record;
    bool fromFile = false;
};
