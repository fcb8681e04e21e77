#include "ui/line_menu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include "line/journal.h"
#include "line/line_file.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"

namespace {

const char* const kLineFilter = "Линия RV740x (*.rv740x-line.json);;Все файлы (*)";

}  // namespace

LineMenu::LineMenu(LineWindow::Host host, MainMenu& menu, QAction* before, QObject* parent)
    : QObject(parent), host_(std::move(host)) {
    overview_ = menu.lineOverviewAction();
    connect(overview_, &QAction::triggered, this, &LineMenu::showOverview);

    QMenu* file = menu.fileMenu();
    open_ = new QAction(QString::fromUtf8("Открыть &линию…"), file);
    open_->setObjectName("OpenLineAction");
    file->insertAction(before, open_);
    connect(open_, &QAction::triggered, this, &LineMenu::openLine);
    save_ = new QAction(QString::fromUtf8("Сохранить л&инию…"), file);
    save_->setObjectName("SaveLineAction");
    file->insertAction(before, save_);
    connect(save_, &QAction::triggered, this, &LineMenu::saveLine);
    recentMenu_ = new QMenu(QString::fromUtf8("Последние ли&нии"), file);
    recentMenu_->setObjectName("RecentLinesMenu");
    file->insertMenu(before, recentMenu_);
    file->insertSeparator(before);

    chooseOpenPath = [](const QString& directory) {
        return QFileDialog::getOpenFileName(nullptr, QString::fromUtf8("Открыть линию"), directory,
                                            QString::fromUtf8(kLineFilter));
    };
    chooseSavePath = [](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, QString::fromUtf8("Сохранить линию"),
                                            suggested, QString::fromUtf8(kLineFilter));
    };
    fillRecentMenu();
}

LineMenu::~LineMenu() = default;

LineWindow& LineMenu::lineWindow() {
    if (!window_) {
        window_ = std::make_unique<LineWindow>(host_);
        window_->save = [this] { return saveLine(); };
    }
    return *window_;
}

std::string LineMenu::journalPath() const {
    return window_ ? window_->journalPath() : rv::DefaultJournalPath();
}

std::string LineMenu::copiesFolder() const {
    return window_ ? window_->copiesFolder() : LineWindow::userCopiesFolder();
}

void LineMenu::showOverview() {
    LineWindow& window = lineWindow();
    window.show();
    window.raise();
    window.activateWindow();
}

void LineMenu::openLine() {
    const QString current = lineWindow().linePath();
    const QString path =
        chooseOpenPath(current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath());
    if (!path.isEmpty()) openPath(path);
}

void LineMenu::openRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        host_.boxes->error(
            nullptr, QString::fromUtf8("Файла «%1» больше нет; он убран из списка.").arg(path));
        recent_.remove(path);
        fillRecentMenu();
        return;
    }
    openPath(path);
}

void LineMenu::openPath(const QString& path) {
    // The line open now is not given up unasked.
    if (!lineWindow().confirmClose() || !lineWindow().openLine(path)) return;
    recent_.add(path);
    fillRecentMenu();
    showOverview();
}

bool LineMenu::confirmClose() { return !window_ || window_->confirmClose(); }

bool LineMenu::saveLine() {
    LineWindow& window = lineWindow();
    const QString current = window.linePath();
    const QString suggested =
        current.isEmpty()
            ? QDir(QDir::homePath())
                  .filePath(QString::fromUtf8("линия") + QString::fromUtf8(rv::kLineExtension))
            : current;
    const QString path = chooseSavePath(suggested);
    if (path.isEmpty() || !window.saveLine(path)) return false;
    recent_.add(window.linePath());
    fillRecentMenu();
    return true;
}

void LineMenu::fillRecentMenu() {
    FillRecentMenu(recentMenu_, recent_.paths(), [this](const QString& path) { openRecent(path); });
}
