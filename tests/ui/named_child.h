#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QString>
#include <QtGlobal>

// The control of `parent` with the object name `name`, as a user's tool finds it; a test
// whose control is missing stops there.
template <typename T>
T* child(const QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    if (found == nullptr) qFatal("no control %s", qPrintable(name));
    return found;
}
