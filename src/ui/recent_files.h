#pragma once

#include <QStringList>

// The configuration files last opened or saved, newest first, at most eight, kept in the
// program's settings (QSettings "rv740x"/"rv740x-config") from one run to the next.
class RecentFiles {
  public:
    static constexpr int kLimit = 8;

    RecentFiles();

    const QStringList& paths() const { return paths_; }
    // Puts `path` first, dropping an older entry of the same file and the ninth.
    void add(const QString& path);
    void remove(const QString& path);

  private:
    void store() const;

    QStringList paths_;
};
