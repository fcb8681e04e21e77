#include <QApplication>
#include <QEventLoop>

#include "link/link.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"
#include "ui/qt_texts.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallRussianQtTexts(app);
    QApplication::setFont(TDeskForm::windowFont());
    // The program ends when the main window closes, even while the progress window is up.
    QApplication::setQuitOnLastWindowClosed(false);

    rv::Link link;
    link.pumpMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    ModalMessageBoxes boxes;

    TDeskForm deskForm(link, boxes);
    QObject::connect(&deskForm, &TDeskForm::closed, [] { QCoreApplication::exit(0); });

    // The dialogs have no parent, so they stay usable while the main window is disabled.
    TFormRELE formRELE(deskForm.image());
    TFormPASS formPASS(link, deskForm.image(), boxes);
    TInfoForm infoForm(link);
    formPASS.setInfoForm(&infoForm);
    formRELE.hide();
    formPASS.hide();
    infoForm.hide();
    deskForm.setDialogs(&formRELE, &formPASS, &infoForm);

    deskForm.show();
    return QApplication::exec();
}
