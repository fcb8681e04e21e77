#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "ui/line_window.h"
#include "ui/recent_files.h"

class MainMenu;
class QAction;
class QMenu;

// The line's items of the main window's menus: "Линия" → "Обзор линии…", and in "Файл",
// beside the configuration files, "Открыть линию…", "Сохранить линию…" and the recent lines.
// It owns the line overview window, made when first asked for; opening a line shows it.
class LineMenu : public QObject {
    Q_OBJECT
  public:
    // Belongs to `parent`; `menu` outlives it. The line items go into "Файл" before `before`.
    LineMenu(LineWindow::Host host, MainMenu& menu, QAction* before, QObject* parent);
    ~LineMenu() override;

    QAction* overviewAction() const { return overview_; }
    QAction* openLineAction() const { return open_; }
    QAction* saveLineAction() const { return save_; }
    // "Последние линии": one item per recent line file, newest first.
    QMenu* recentMenu() const { return recentMenu_; }
    const RecentFiles& recentLines() const { return recent_; }
    // The journal of the line open in the overview; the user's own without a line file.
    std::string journalPath() const;
    // The copies of the line open in the overview; the user's own without a line file.
    std::string copiesFolder() const;
    // The overview window, made on first use.
    LineWindow& lineWindow();

    // Where the file dialogs' answers come from; an empty path means the user cancelled.
    std::function<QString(const QString& directory)> chooseOpenPath;
    std::function<QString(const QString& suggestedPath)> chooseSavePath;

    // Before the program ends: the line's unsaved changes are asked about (LineWindow's
    // confirmClose); false to stay.
    bool confirmClose();

    void showOverview();
    void openLine();
    // False when not saved (the dialog cancelled, or an error shown).
    bool saveLine();
    void openRecent(const QString& path);

  private:
    void openPath(const QString& path);
    void fillRecentMenu();

    LineWindow::Host host_;
    QAction* overview_ = nullptr;
    QAction* open_ = nullptr;
    QAction* save_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    RecentFiles recent_{"recentLines"};
    std::unique_ptr<LineWindow> window_;
};
