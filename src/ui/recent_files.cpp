#include "ui/recent_files.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace {

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "rv740x", "rv740x-config");
}

}  // namespace

RecentFiles::RecentFiles(const char* key) : key_(key) {
    for (const QString& path : settings().value(key_).toStringList()) {
        if (!path.isEmpty() && !paths_.contains(path) && paths_.size() < kLimit) paths_ << path;
    }
}

void RecentFiles::add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    paths_.removeAll(absolute);
    paths_.prepend(absolute);
    while (paths_.size() > kLimit) paths_.removeLast();
    store();
}

void RecentFiles::remove(const QString& path) {
    paths_.removeAll(path);
    store();
}

void RecentFiles::store() const {
    QSettings s = settings();
    s.setValue(key_, paths_);
}

void FillRecentMenu(QMenu* menu, const QStringList& paths,
                    const std::function<void(const QString&)>& open) {
    while (menu->actions().size() < RecentFiles::kLimit) {
        QAction* item = menu->addAction(QString());
        QObject::connect(item, &QAction::triggered, menu,
                         [item, open] { open(item->data().toString()); });
    }
    const QList<QAction*> items = menu->actions();
    for (int i = 0; i < items.size(); ++i) {
        QAction* item = items[i];
        const bool used = i < paths.size();
        item->setVisible(used);
        item->setData(used ? paths[i] : QString());
        item->setText(used ? QString("&%1 %2").arg(i + 1).arg(QFileInfo(paths[i]).fileName())
                           : QString());
        item->setToolTip(used ? paths[i] : QString());
    }
    menu->setToolTipsVisible(true);
    menu->setEnabled(!paths.isEmpty());
}
