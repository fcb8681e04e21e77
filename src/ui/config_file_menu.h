#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "configfile/configuration_file.h"
#include "configfile/difference.h"

class ConfigFileHost;
class QAction;
class MainMenu;
class DifferenceWindow;

// The configuration-file items of the "Файл" menu: open, save, compare with the instrument
// or with a file. It also asks, before a configuration opened from a file is written, whether
// the instrument is the same kind as the one the file came from.
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
    // The last table of differences shown (null before the first).
    DifferenceWindow* differenceWindow() const { return differences_.get(); }

    // Where the file dialogs' answers come from; an empty path means the user cancelled.
    std::function<QString(const QString& directory)> chooseOpenPath;
    std::function<QString(const QString& suggestedPath)> chooseSavePath;

    // Enables the items for the window's present state.
    void updateActions();
    // After a read, even one that failed, the window no longer shows the file alone.
    void configurationRead();
    // Asked before a write's confirmation: when the configuration came from a file, reads the
    // instrument's identity and asks whether to go on when it differs. False stops the write.
    bool confirmWriteTarget();

    void openConfiguration();
    void saveConfiguration();
    void compareWithInstrument();
    void compareWithFile();

  private:
    bool idle() const;
    void showFileName(const QString& path);
    void showDifferences(const std::vector<rv::FieldDifference>& differences,
                         const QString& otherColumn);
    bool loadFile(const QString& path, rv::ConfigurationFile& out);

    ConfigFileHost& host_;
    QString baseTitle_;
    QString directory_;
    QAction* open_ = nullptr;
    QAction* save_ = nullptr;
    QAction* compareDevice_ = nullptr;
    QAction* compareFile_ = nullptr;
    std::unique_ptr<DifferenceWindow> differences_;
};
