#include "ui/port_menus.h"

#include <QAbstractButton>
#include <QAction>
#include <QMessageBox>

#include "ports/platform.h"
#include "ports/port_map.h"
#include "rv740x_version.h"
#include "ui/WN1.h"
#include "ui/main_menu.h"
#include "ui/port_dialog.h"

void ApplyPorts(const rv::PortSetup& setup, TDeskForm& form) {
    rv::PortDevices devices;
    for (int i = 0; i < rv::kPortCount; ++i) devices[size_t(i)] = setup.map()[size_t(i)].device;
    form.setPortDevices(devices);
}

QString AboutText(const rv::PortSetup& setup) {
    QString text =
        QString::fromUtf8("Конфигуратор приборов RV7406 и RV7408\nВерсия %1\nПлатформа: %2\n\n")
            .arg(RV740X_VERSION, QString::fromStdString(rv::PlatformName()));
    text += QString::fromUtf8(
        "Лицензия: все права защищены; программа распространяется среди сервисных инженеров "
        "для работы с приборами RV7406 и RV7408.\n"
        "Сторонние компоненты и их лицензии (Qt 6 — LGPL-3.0 и другие): в Linux файл "
        "/usr/share/doc/rv740x-configurator/copyright, в Windows папка LICENSES рядом с "
        "программой.\n\n");
    for (int i = 0; i < rv::kPortCount; ++i) {
        const rv::PortMapping& mapping = setup.map()[size_t(i)];
        text += QString("%1: %2 (%3)\n")
                    .arg(QString::fromStdString(rv::PortName(i)),
                         QString::fromStdString(mapping.device),
                         QString::fromStdString(rv::PortSourceText(mapping.source, i)));
    }
    text +=
        QString::fromUtf8("\nФайл настроек: %1")
            .arg(setup.settingsPath().empty()
                     ? QString::fromStdString("не найден (" + rv::SettingsPathMissingBrief() + ")")
                     : QString::fromStdString(setup.settingsPath()));
    return text;
}

PortMenus::PortMenus(TDeskForm& form, rv::PortSetup& setup, DeviceLister listDevices)
    : form_(form), setup_(setup), listDevices_(std::move(listDevices)) {
    ApplyPorts(setup_, form_);
    connect(form_.mainMenu()->portDevicesAction(), &QAction::triggered, this,
            [this] { openPortDialog(); });
    connect(form_.mainMenu()->aboutAction(), &QAction::triggered, this, [this] { openAbout(); });
    // Qt's own box: its version and licence, in Qt's words.
    connect(form_.mainMenu()->aboutQtAction(), &QAction::triggered, this,
            [this] { QMessageBox::aboutQt(&form_, QString::fromUtf8("О Qt")); });
}

PortDialog* PortMenus::openPortDialog() {
    auto* dialog = new PortDialog(setup_, listDevices_(), &form_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PortDialog::mappingChanged, this, [this] { ApplyPorts(setup_, form_); });
    dialog->open();
    return dialog;
}

QMessageBox* PortMenus::openAbout() {
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromUtf8("О программе"),
                                AboutText(setup_), QMessageBox::Ok, &form_);
    box->setObjectName("AboutBox");
    box->button(QMessageBox::Ok)->setText(QString::fromUtf8("ОК"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
