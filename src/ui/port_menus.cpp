#include "ui/port_menus.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
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
    static_assert(std::tuple_size_v<decltype(comActions_)> == rv::kPortCount);
    QMenu* menu = form_.mainMenu()->portMenu();
    menu->addSeparator();
    auto* group = new QActionGroup(this);
    auto* portList = form_.findChild<QComboBox*>("MenuCOM");
    for (int i = 0; i < rv::kPortCount; ++i) {
        QAction* action = menu->addAction(QString());
        action->setObjectName(QString("ComAction%1").arg(i + 1));
        action->setCheckable(true);
        group->addAction(action);
        comActions_[size_t(i)] = action;
        if (portList != nullptr)
            connect(action, &QAction::triggered, portList,
                    [portList, i] { portList->setCurrentIndex(i); });
    }
    if (portList != nullptr) {
        const auto follow = [this](int index) {
            if (index >= 0 && index < rv::kPortCount) comActions_[size_t(index)]->setChecked(true);
        };
        connect(portList, &QComboBox::currentIndexChanged, this, follow);
        follow(portList->currentIndex());
    }
    showMapping();
    connect(form_.mainMenu()->portDevicesAction(), &QAction::triggered, this,
            [this] { openPortDialog(); });
    connect(form_.mainMenu()->aboutAction(), &QAction::triggered, this, [this] { openAbout(); });
    // Qt's own box: its version and licence, in Qt's words.
    connect(form_.mainMenu()->aboutQtAction(), &QAction::triggered, this,
            [this] { QMessageBox::aboutQt(&form_, QString::fromUtf8("О Qt")); });
}

PortDialog* PortMenus::openPortDialog() {
    auto* dialog = new PortDialog(setup_, listDevices_(), form_.line(), &form_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PortDialog::mappingChanged, this, [this] { showMapping(); });
    dialog->open();
    return dialog;
}

void PortMenus::showMapping() {
    ApplyPorts(setup_, form_);
    for (int i = 0; i < rv::kPortCount; ++i) {
        QString device = QString::fromStdString(setup_.map()[size_t(i)].device);
        device.replace('&', "&&");
        comActions_[size_t(i)]->setText(
            QString::fromUtf8("%1 — %2").arg(QString::fromStdString(rv::PortName(i)), device));
    }
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
