#pragma once

#include <QStringList>
#include <functional>

class QMenu;

// The files of one kind last opened or saved, newest first, at most eight, kept in the
// program's settings (QSettings "rv740x"/"rv740x-config") under `key` from one run to the next:
// configuration files under "recentFiles", line files under "recentLines".
class RecentFiles {
  public:
    static constexpr int kLimit = 8;

    explicit RecentFiles(const char* key = "recentFiles");

    const QStringList& paths() const { return paths_; }
    // Puts `path` first, dropping an older entry of the same file and the ninth.
    void add(const QString& path);
    void remove(const QString& path);

  private:
    void store() const;

    const char* key_;
    QStringList paths_;
};

// Shows `paths` in `menu`, one item each ("&1 name", the whole path as its tip), and makes the
// menu's items once: an item may be the one being triggered. An item runs `open` with its path.
void FillRecentMenu(QMenu* menu, const QStringList& paths,
                    const std::function<void(const QString&)>& open);
