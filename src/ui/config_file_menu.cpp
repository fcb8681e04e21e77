#include "ui/config_file_menu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStringList>

#include "config/transfer.h"
#include "configfile/code_page.h"
#include "configfile/report.h"
#include "configfile/value_texts.h"
#include "line/history.h"
#include "link/status.h"
#include "ui/config_file_host.h"
#include "ui/difference_window.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"
#include "ui/pdf_report.h"

namespace {

const char* const kFileFilter = "Конфигурация RV740x (*.rv740x.json);;Все файлы (*)";

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

ConfigFileMenu::ConfigFileMenu(ConfigFileHost& host, MainMenu& menu, QObject* parent)
    : QObject(parent), host_(host), directory_(QDir::homePath()) {
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
    recentMenu_ = new QMenu(QString::fromUtf8("Последние &файлы"), file);
    recentMenu_->setObjectName("RecentMenu");
    file->insertMenu(quit, recentMenu_);
    file->insertSeparator(quit);
    compareDevice_ =
        add("CompareDeviceAction", "Сравнить с &прибором…", &ConfigFileMenu::compareWithInstrument);
    compareFile_ =
        add("CompareFileAction", "Сравнить с &файлом…", &ConfigFileMenu::compareWithFile);
    file->insertSeparator(quit);
    report_ = add("ReportAction", "О&тчёт о конфигурации…", &ConfigFileMenu::saveReport);
    file->insertSeparator(quit);
    connect(file, &QMenu::aboutToShow, this, &ConfigFileMenu::updateActions);

    chooseOpenPath = [this](const QString& directory) {
        return QFileDialog::getOpenFileName(&host_.window(),
                                            QString::fromUtf8("Открыть конфигурацию"), directory,
                                            QString::fromUtf8(kFileFilter));
    };
    chooseComparePath = [this](const QString& directory) {
        return QFileDialog::getOpenFileName(&host_.window(),
                                            QString::fromUtf8("Сравнить с файлом конфигурации"),
                                            directory, QString::fromUtf8(kFileFilter));
    };
    chooseSavePath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&host_.window(),
                                            QString::fromUtf8("Сохранить конфигурацию"), suggested,
                                            QString::fromUtf8(kFileFilter));
    };
    chooseReportPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&host_.window(),
                                            QString::fromUtf8("Отчёт о конфигурации"), suggested,
                                            QString::fromUtf8("PDF (*.pdf)"));
    };
    fillRecentMenu();
    updateActions();
}

ConfigFileMenu::~ConfigFileMenu() = default;

void ConfigFileMenu::configurationRead() {
    sourceFile_.clear();
    sourceSavedAt_.clear();
    showFileName(QString());
    updateActions();
}

bool ConfigFileMenu::idle() const { return host_.idle(); }

void ConfigFileMenu::updateActions() {
    const bool idle = this->idle();
    const bool loaded = host_.image().LoadedId != 0;
    open_->setEnabled(idle);
    save_->setEnabled(idle && loaded);
    compareDevice_->setEnabled(idle && loaded);
    compareFile_->setEnabled(idle && loaded);
    report_->setEnabled(idle && loaded);
    recentMenu_->setEnabled(idle && !recent_.paths().isEmpty());
}

void ConfigFileMenu::fillRecentMenu() {
    FillRecentMenu(recentMenu_, recent_.paths(), [this](const QString& path) { openRecent(path); });
}

void ConfigFileMenu::remember(const QString& path, const std::string& savedAt) {
    sourceFile_ = QFileInfo(path).fileName();
    sourceSavedAt_ = savedAt;
    recent_.add(path);
    fillRecentMenu();
}

void ConfigFileMenu::showFileName(const QString& path) {
    host_.showSource(path.isEmpty() ? QString() : QFileInfo(path).fileName());
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
    if (!idle() || !host_.confirmDiscard()) return;
    const QString path = chooseOpenPath(directory_);
    if (path.isEmpty()) return;
    openPath(path);
}

void ConfigFileMenu::openRecent(const QString& path) {
    if (!idle() || !host_.confirmDiscard()) return;
    if (!QFileInfo::exists(path)) {
        host_.boxes().error(
            &host_.window(),
            QString::fromUtf8("Файла «%1» больше нет; он убран из списка.").arg(path));
        recent_.remove(path);
        fillRecentMenu();
        return;
    }
    openPath(path);
}

void ConfigFileMenu::openPath(const QString& path) {
    rv::ConfigurationFile file;
    if (!loadFile(path, file)) return;

    const auto version = rv::InstrumentTextToUtf8(file.Instrument.Firmware);
    host_.showFile(file, fromUtf8(version.value_or(std::string())));
    remember(path, file.SavedAt);
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
    remember(path, rv::UtcTimeStamp());
    showFileName(path);
}

void ConfigFileMenu::saveReport() {
    if (!idle() || host_.image().LoadedId == 0) return;
    const ImageSource& source = host_.source();
    std::string name = rv::DefaultConfigurationFileName(host_.image(), source.record.NetNumber,
                                                        rv::LocalDateText());
    name = name.substr(0, name.size() - std::string(rv::kConfigurationExtension).size()) + ".pdf";
    const QString path = chooseReportPath(QDir(directory_).filePath(fromUtf8(name)));
    if (path.isEmpty()) return;
    const rv::ReportSource from{source.fromFile, sourceFile_.toStdString(), sourceSavedAt_};
    rv::ConfigurationReport report =
        rv::MakeConfigurationReport(host_.image(), source.record, from, rv::LocalDateTimeText());
    // The instrument's last copy, when the line keeps one that differs: how it was before.
    if (copiesFolder && !source.fromFile) {
        const rv::InstrumentHistory last = rv::LoadLastVersion(
            copiesFolder(), rv::ModelName(host_.image().ChannelsFitted), host_.image().LoadedId);
        if (!last.versions.empty()) {
            const rv::ConfigurationFile& copy = last.versions.back().file;
            const std::vector<rv::FieldDifference> changes =
                rv::CompareConfigurations(copy.Image, host_.image());
            const std::string when = "копия от " + rv::LocalDateOfStamp(copy.SavedAt);
            if (!changes.empty() &&
                host_.boxes().confirmYesNo(
                    &host_.window(),
                    QString::fromUtf8("Включить в отчёт «как было / как стало» (%1)?")
                        .arg(fromUtf8(when))))
                rv::AddBeforeAfter(report, changes, when);
        }
    }
    QString error;
    if (!WritePdfReport(path, report, error)) {
        host_.boxes().error(&host_.window(), error);
        return;
    }
    directory_ = QFileInfo(path).absolutePath();
}

void ConfigFileMenu::compareWithInstrument() {
    if (!idle() || host_.image().LoadedId == 0) return;
    // The window's own data stay as they are: the instrument's are read beside them.
    if (!host_.boxes().confirmOkCancel(
            &host_.window(), QString::fromUtf8("Считать конфигурацию из прибора для сравнения?")))
        return;
    rv::ConfigImage other;
    const std::optional<rv::Outcome> outcome =
        host_.runner().run(host_.window(), QString::fromUtf8("  Чтение ..."), true,
                           {LineTask::Read, true, {}}, [&other](LineUse& use) {
                               rv::TransferObserver observer;
                               observer.progress = [&use](int percent) { use.progress(percent); };
                               return rv::ReadConfiguration(use.link(), other, observer);
                           });
    if (outcome != rv::Outcome::Done) return;
    showDifferences(rv::CompareConfigurations(host_.image(), other),
                    QString::fromUtf8("В приборе"));
}

void ConfigFileMenu::compareWithFile() {
    if (!idle() || host_.image().LoadedId == 0) return;
    const QString path = chooseComparePath(directory_);
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
    const unsigned addressed = host_.runner().line().settings().NetNumber;
    // A configuration read goes back to its own number unasked; to another number, and from a
    // file, the instrument is asked first what it is.
    const bool otherNumber = addressed != source.record.NetNumber;
    if (!source.fromFile && !otherNumber) return true;
    rv::InstrumentIdentity target;
    const std::optional<rv::Outcome> outcome = host_.runner().run(
        host_.window(), QString::fromUtf8("  Чтение ..."), true, {LineTask::Identity, false, {}},
        [&target](LineUse& use) { return rv::ReadIdentity(use.link(), target); });
    if (outcome != rv::Outcome::Done) return false;
    const std::vector<std::string> lines =
        rv::IdentityDifferences(rv::IdentityOf(host_.image(), source.record.Family), target,
                                source.fromFile ? "в файле" : "в окне");
    if (lines.empty()) return true;
    QStringList text;
    for (const std::string& line : lines) text << fromUtf8(line);
    const QString heading =
        source.fromFile
            ? QString::fromUtf8("Прибор не такой, как тот, с которого сохранён файл:")
            : QString::fromUtf8("Прибор %1 не такой, как прибор %2, из которого считаны данные:")
                  .arg(addressed)
                  .arg(source.record.NetNumber);
    return host_.boxes().confirmRisky(
        &host_.window(),
        heading + "\n" + text.join('\n') + QString::fromUtf8("\n\nПродолжить запись?"));
}
