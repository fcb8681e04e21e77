#include <QApplication>
#include <QEventLoop>

#include "link/link.h"
#include "ui/app_windows.h"
#include "ui/message_boxes.h"
#include "ui/qt_texts.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallRussianQtTexts(app);

    rv::Link link;
    link.pumpMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    ModalMessageBoxes boxes;

    const AppWindows windows(link, boxes);
    return app.exec();
}
