#include "ui/config_file_menu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStringList>
#include <QWidget>

#include "config/transfer.h"
#include "configfile/code_page.h"
#include "link/status.h"
#include "ui/config_file_host.h"
#include "ui/difference_window.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"

namespace {

const char* const kFileFilter = "Конфигурация RV740x (*.rv740x.json);;Все файлы (*)";

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

ConfigFileMenu::ConfigFileMenu(ConfigFileHost& host, MainMenu& menu, QObject* parent)
    : QObject(parent),
      host_(host),
      baseTitle_(host.window().windowTitle()),
      directory_(QDir::homePath()) {
    QMenu* file = menu.fileMenu();
    QAction* quit = menu.quitAction();
    auto add = [&](const char* name, const char* text, void (ConfigFileMenu::*slot)()) {
        auto* action = new QAction(QString::fromUtf8(text), file);
        action->setObjectName(name);
        file->insertAction(quit, action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    open_ = add("OpenConfigAction", "&Открыть конфигурацию…", &ConfigFileMenu::openConfiguration);
    open_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    save_ = add("SaveConfigAction", "&Сохранить конфигурацию…", &ConfigFileMenu::saveConfiguration);
    save_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    file->insertSeparator(quit);
    compareDevice_ =
        add("CompareDeviceAction", "Сравнить с &прибором…", &ConfigFileMenu::compareWithInstrument);
    compareFile_ =
        add("CompareFileAction", "Сравнить с &файлом…", &ConfigFileMenu::compareWithFile);
    file->insertSeparator(quit);
    connect(file, &QMenu::aboutToShow, this, &ConfigFileMenu::updateActions);

    chooseOpenPath = [this](const QString& directory) {
        return QFileDialog::getOpenFileName(&host_.window(),
                                            QString::fromUtf8("Открыть конфигурацию"), directory,
                                            QString::fromUtf8(kFileFilter));
    };
    chooseSavePath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&host_.window(),
                                            QString::fromUtf8("Сохранить конфигурацию"), suggested,
                                            QString::fromUtf8(kFileFilter));
    };
    updateActions();
}

ConfigFileMenu::~ConfigFileMenu() = default;

bool ConfigFileMenu::idle() const { return host_.idle(); }

void ConfigFileMenu::configurationRead() {
    showFileName(QString());
    updateActions();
}

void ConfigFileMenu::updateActions() {
    const bool idle = this->idle();
    const bool loaded = host_.image().LoadedId != 0;
    open_->setEnabled(idle);
    save_->setEnabled(idle && loaded);
    compareDevice_->setEnabled(idle && loaded);
    compareFile_->setEnabled(idle && loaded);
}

void ConfigFileMenu::showFileName(const QString& path) {
    host_.window().setWindowTitle(path.isEmpty() ? baseTitle_
                                                 : baseTitle_ + QString::fromUtf8(" — ") +
                                                       QFileInfo(path).fileName());
}

bool ConfigFileMenu::loadFile(const QString& path, rv::ConfigurationFile& out) {
    const rv::LoadResult result = rv::LoadConfigurationFile(path.toStdString(), out);
    if (!result.ok) {
        host_.boxes().error(&host_.window(),
                            QString::fromUtf8("Файл «%1» не открыт.\n%2")
                                .arg(QFileInfo(path).fileName(), fromUtf8(result.error)));
        return false;
    }
    directory_ = QFileInfo(path).absolutePath();
    if (!result.warnings.empty()) {
        QStringList lines;
        for (const std::string& w : result.warnings) lines << fromUtf8(w);
        host_.boxes().warning(
            &host_.window(),
            QString::fromUtf8("В файле «%1» есть неизвестные поля, они пропущены:\n%2")
                .arg(QFileInfo(path).fileName(), lines.join('\n')));
    }
    return true;
}

void ConfigFileMenu::openConfiguration() {
    if (!idle()) return;
    const QString path = chooseOpenPath(directory_);
    if (path.isEmpty()) return;
    rv::ConfigurationFile file;
    if (!loadFile(path, file)) return;

    const auto version = rv::InstrumentTextToUtf8(file.Instrument.Firmware);
    host_.showFile(file, fromUtf8(version.value_or(std::string())));
    showFileName(path);
    updateActions();
}

void ConfigFileMenu::saveConfiguration() {
    if (!idle() || host_.image().LoadedId == 0) return;
    const ImageSource& source = host_.source();
    const std::string name = rv::DefaultConfigurationFileName(
        host_.image(), source.record.NetNumber, rv::LocalDateText());
    const QString path = chooseSavePath(QDir(directory_).filePath(fromUtf8(name)));
    if (path.isEmpty()) return;
    std::string error;
    if (!rv::SaveConfigurationFile(path.toStdString(), host_.image(), source.record, error)) {
        host_.boxes().error(&host_.window(), fromUtf8(error));
        return;
    }
    directory_ = QFileInfo(path).absolutePath();
    showFileName(path);
}

void ConfigFileMenu::compareWithInstrument() {
    if (!idle() || host_.image().LoadedId == 0) return;
    if (!host_.boxes().confirmOkCancel(&host_.window(), QString::fromUtf8(" Считать данные ?")))
        return;
    rv::ConfigImage other;
    OperationRunner& runner = host_.runner();
    rv::TransferObserver observer;
    observer.progress = [&runner](int percent) { runner.showProgress(percent); };
    const rv::Outcome outcome = runner.run(
        host_.window(), QString::fromUtf8("  Чтение ..."), true, OperationRunner::Priority::Raised,
        [&] { return rv::ReadConfiguration(host_.link(), other, observer); });
    if (outcome != rv::Outcome::Done) return;
    showDifferences(rv::CompareConfigurations(host_.image(), other),
                    QString::fromUtf8("В приборе"));
}

void ConfigFileMenu::compareWithFile() {
    if (!idle() || host_.image().LoadedId == 0) return;
    const QString path = chooseOpenPath(directory_);
    if (path.isEmpty()) return;
    rv::ConfigurationFile file;
    if (!loadFile(path, file)) return;
    showDifferences(rv::CompareConfigurations(host_.image(), file.Image),
                    QString::fromUtf8("В файле"));
}

void ConfigFileMenu::showDifferences(const std::vector<rv::FieldDifference>& differences,
                                     const QString& otherColumn) {
    differences_ = std::make_unique<DifferenceWindow>(QString::fromUtf8("Сравнение конфигураций"),
                                                      otherColumn, differences);
    differences_->show();
    differences_->raise();
}

bool ConfigFileMenu::confirmWriteTarget() {
    const ImageSource& source = host_.source();
    if (!source.fromFile) return true;
    rv::InstrumentIdentity target;
    const rv::Outcome outcome = host_.runner().run(
        host_.window(), QString::fromUtf8("  Чтение ..."), true, OperationRunner::Priority::Normal,
        [&] { return rv::ReadIdentity(host_.link(), target); });
    if (outcome != rv::Outcome::Done) return false;
    const std::vector<std::string> lines =
        rv::IdentityDifferences(rv::IdentityOf(host_.image(), source.record.Family), target);
    if (lines.empty()) return true;
    QStringList text;
    for (const std::string& line : lines) text << fromUtf8(line);
    return host_.boxes().confirmOkCancel(
        &host_.window(),
        QString::fromUtf8("Прибор не такой, как тот, с которого сохранён файл:\n%1\n\n"
                          "Продолжить запись?")
            .arg(text.join('\n')));
}
