#pragma once

namespace rv {
struct Link;
}

// Keeps the window alive while an operation waits on the line. The link hands the window's
// events to Qt, and wakes for them as they come when Qt's event loop is glib's (as on every
// Linux desktop); with another event loop it hands them over every few milliseconds.
void InstallWindowPump(rv::Link& link);
