#include "ui/window_pump.h"

#include <glib.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <array>
#include <vector>

#include "link/link.h"

namespace {

// The descriptors the window's event loop sleeps on, when it is glib's: the wake-up that
// input from the window system and every posted event signal, and those of the program's
// socket notifiers. Empty for another event loop.
std::vector<int> eventLoopDescriptors() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || !dispatcher->inherits("QEventDispatcherGlib")) return {};
    // Qt's event loop in the main thread is glib's default context. This thread may own it,
    // and owns it already when called from inside that loop (owning is counted).
    GMainContext* context = g_main_context_default();
    if (!g_main_context_acquire(context)) return {};
    std::array<GPollFD, 8> polled{};
    const gint count = g_main_context_query(context, G_MAXINT, nullptr, polled.data(),
                                            static_cast<gint>(polled.size()));
    g_main_context_release(context);
    std::vector<int> fds;
    for (gint i = 0; i < count && i < static_cast<gint>(polled.size()); ++i) {
        if ((polled[static_cast<size_t>(i)].events & G_IO_IN) != 0)
            fds.push_back(polled[static_cast<size_t>(i)].fd);
    }
    // More than there is room for: the link pumps at its own pace instead.
    if (count > static_cast<gint>(polled.size())) fds.clear();
    return fds;
}

}  // namespace

void InstallWindowPump(rv::Link& link) {
    link.pumpMessages = [&link] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        link.eventFds = eventLoopDescriptors();
    };
}
