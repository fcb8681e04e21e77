#pragma once

class QWidget;

// Why a window is disabled: it waits for a dialog it opened, runs an operation of its own, or
// the line is busy with another window's use. A window may be held for several reasons at once
// and is enabled again once the last one has gone, in whatever order they go.
enum class Hold : unsigned { Dialog = 1u, Operation = 2u, Line = 4u };

void SetHeld(QWidget& window, Hold reason, bool held);
