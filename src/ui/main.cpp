#include <QApplication>
#include <QEventLoop>

#include "link/link.h"
#include "ui/app_windows.h"
#include "ui/message_boxes.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    rv::Link link;
    link.pumpMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    ModalMessageBoxes boxes;

    const AppWindows windows(link, boxes);
    return app.exec();
}
