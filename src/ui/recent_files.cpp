#include "ui/recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const char* const kKey = "recentFiles";

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "rv740x", "rv740x-config");
}

}  // namespace

RecentFiles::RecentFiles() {
    for (const QString& path : settings().value(kKey).toStringList()) {
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
    s.setValue(kKey, paths_);
}
