#pragma once

#include <QMenuBar>

class QAction;
class QMenu;

// The menu bar above the window's client area: "Файл", "Порт", "Линия" and "Справка", in that
// order ("Прибор" comes in before "Линия").
// It sits beside the window's own controls and starts nothing itself; whoever owns the window
// connects the actions. Being a child of the window, it is disabled with the window during an
// operation; the search disables it with the other controls that could use the port.
class MainMenu : public QMenuBar {
    Q_OBJECT
  public:
    // Puts the menu bar at the top of the window and moves the window's present children, at
    // their own positions, into a client area of the given size below it. The window's fixed
    // size grows by the menu bar's height.
    MainMenu(QWidget* window, QSize clientSize);

    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* portMenu() const { return portMenu_; }
    QMenu* lineMenu() const { return lineMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    // The area that holds the window's controls, exactly clientSize big.
    QWidget* clientArea() const { return clientArea_; }

    // "Файл" → "Выход" closes the window.
    QAction* quitAction() const { return quitAction_; }
    // "Порт" → "Устройства COM-портов…".
    QAction* portDevicesAction() const { return portDevicesAction_; }
    // "Линия" → "Обзор линии…".
    QAction* lineOverviewAction() const { return lineOverviewAction_; }
    // "Справка" → "О программе".
    QAction* aboutAction() const { return aboutAction_; }
    // "Справка" → "О Qt".
    QAction* aboutQtAction() const { return aboutQtAction_; }

  private:
    QMenu* fileMenu_ = nullptr;
    QMenu* portMenu_ = nullptr;
    QMenu* lineMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QWidget* clientArea_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* portDevicesAction_ = nullptr;
    QAction* lineOverviewAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* aboutQtAction_ = nullptr;
};
