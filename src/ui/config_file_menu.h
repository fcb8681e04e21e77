#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "configfile/configuration_file.h"
#include "configfile/difference.h"
#include "ui/recent_files.h"

class QAction;
class QMenu;
class MainMenu;
class ConfigFileHost;
class DifferenceWindow;

// The configuration-file items of the "Файл" menu: open, save, compare with the instrument
// or with a file. It also asks, before a configuration is written to an instrument that may
// not be the one it came from (a file's, or one read at another number), whether to go on
// when the instrument is of another kind.
class ConfigFileMenu : public QObject {
    Q_OBJECT
  public:
    // Belongs to `parent`; `host` and `menu` outlive it.
    ConfigFileMenu(ConfigFileHost& host, MainMenu& menu, QObject* parent);
    ~ConfigFileMenu() override;

    QAction* openAction() const { return open_; }
    QAction* saveAction() const { return save_; }
    QAction* compareDeviceAction() const { return compareDevice_; }
    QAction* compareFileAction() const { return compareFile_; }
    QAction* reportAction() const { return report_; }
    // "Последние файлы": one item per recent file, newest first.
    QMenu* recentMenu() const { return recentMenu_; }
    const RecentFiles& recentFiles() const { return recent_; }
    // The last table of differences shown (null before the first).
    DifferenceWindow* differenceWindow() const { return differences_.get(); }

    // Where the file dialogs' answers come from; an empty path means the user cancelled.
    std::function<QString(const QString& directory)> chooseOpenPath;
    std::function<QString(const QString& suggestedPath)> chooseSavePath;
    // The file to compare with; an empty path means the user cancelled.
    std::function<QString(const QString& directory)> chooseComparePath;
    // The folder of the copies of the line open, for the report's "как было / как стало".
    std::function<std::string()> copiesFolder;
    // Where the report goes; an empty path means the user cancelled.
    std::function<QString(const QString& suggestedPath)> chooseReportPath;

    // Enables the items for the window's present state.
    void updateActions();
    // After a read, even one that failed, the window no longer shows the file alone.
    void configurationRead();
    // Asked before a write's confirmation: when the configuration may not be the instrument's
    // own (a file's, or one read at another number), reads the instrument's identity and asks
    // whether to go on when it is of another kind. False stops the write.
    bool confirmWriteTarget();

    void openConfiguration();
    void saveConfiguration();
    void compareWithInstrument();
    void compareWithFile();
    // Saves the configuration report of the window's configuration as a PDF.
    void saveReport();
    // Opens a file of the recent list, as "Открыть конфигурацию…" does.
    void openRecent(const QString& path);

  private:
    bool idle() const;
    void showFileName(const QString& path);
    void showDifferences(const std::vector<rv::FieldDifference>& differences,
                         const QString& otherColumn);
    bool loadFile(const QString& path, rv::ConfigurationFile& out);
    void openPath(const QString& path);
    void fillRecentMenu();
    void remember(const QString& path, const std::string& savedAt);

    ConfigFileHost& host_;
    QString directory_;
    QAction* open_ = nullptr;
    QAction* save_ = nullptr;
    QAction* compareDevice_ = nullptr;
    QAction* compareFile_ = nullptr;
    QAction* report_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    RecentFiles recent_;
    // The file the window's configuration was last opened from or saved to, and its time
    // stamp, for the report; empty after a read.
    QString sourceFile_;
    std::string sourceSavedAt_;
    std::unique_ptr<DifferenceWindow> differences_;
};
