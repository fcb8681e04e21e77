#include "ui/main_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

MainMenu::MainMenu(QWidget* window, QSize clientSize) : QMenuBar(window) {
    setObjectName("MainMenu");

    // The controls keep the coordinates they were given; only their parent moves down.
    clientArea_ = new QWidget(window);
    clientArea_->setObjectName("ClientArea");
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget == nullptr || widget == this || widget == clientArea_ || widget->isWindow())
            continue;
        const bool hidden = widget->isHidden();
        widget->setParent(clientArea_);
        widget->setHidden(hidden);
    }

    fileMenu_ = addMenu(QString::fromUtf8("&Файл"));
    fileMenu_->setObjectName("FileMenu");
    quitAction_ = fileMenu_->addAction(QString::fromUtf8("&Выход"));
    quitAction_->setObjectName("QuitAction");
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction_, &QAction::triggered, window, &QWidget::close);

    portMenu_ = addMenu(QString::fromUtf8("&Порт"));
    portMenu_->setObjectName("PortMenu");
    portDevicesAction_ = portMenu_->addAction(QString::fromUtf8("&Устройства COM-портов…"));
    portDevicesAction_->setObjectName("PortDevicesAction");

    lineMenu_ = addMenu(QString::fromUtf8("&Линия"));
    lineMenu_->setObjectName("LineMenu");
    lineOverviewAction_ = lineMenu_->addAction(QString::fromUtf8("&Обзор линии…"));
    lineOverviewAction_->setObjectName("LineOverviewAction");

    helpMenu_ = addMenu(QString::fromUtf8("&Справка"));
    helpMenu_->setObjectName("HelpMenu");
    aboutAction_ = helpMenu_->addAction(QString::fromUtf8("&О программе"));
    aboutAction_->setObjectName("AboutAction");
    aboutQtAction_ = helpMenu_->addAction(QString::fromUtf8("О &Qt"));
    aboutQtAction_->setObjectName("AboutQtAction");

    const int barHeight = sizeHint().height();
    setGeometry(0, 0, clientSize.width(), barHeight);
    clientArea_->setGeometry(0, barHeight, clientSize.width(), clientSize.height());
    window->setFixedSize(clientSize.width(), clientSize.height() + barHeight);
}
