#include "ui/line_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "configfile/configuration_file.h"
#include "configfile/difference.h"
#include "line/history.h"
#include "line/journal.h"
#include "line/line_search.h"
#include "line/line_table.h"
#include "link/status.h"
#include "link/timeouts.h"
#include "ports/platform.h"
#include "ui/difference_window.h"
#include "ui/history_window.h"
#include "ui/journal_window.h"
#include "ui/line_job_dialog.h"
#include "ui/line_report.h"
#include "ui/line_table_model.h"
#include "ui/message_boxes.h"
#include "ui/write_preview.h"

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const char* const kConfigFilter = "Конфигурация RV740x (*.rv740x.json);;Все файлы (*)";

QString instrumentName(const rv::LineInstrument& i) {
    QString text = QString::fromUtf8("Прибор %1").arg(i.NetNumber);
    if (!i.Model.empty()) text += " " + fromUtf8(i.Model);
    if (!i.Tag.empty()) text += QString::fromUtf8(" («%1»)").arg(fromUtf8(i.Tag));
    return text;
}

QString foundText(const rv::FoundInstrument& f) {
    QString text = QString::fromUtf8("Найден прибор %1 на %2 бод").arg(f.netNumber).arg(f.baud);
    if (f.identified) {
        text += ": " + fromUtf8(f.model);
        if (f.id != 0) text += QString::fromUtf8(", ID ") + fromUtf8(rv::IdText(f.id));
    }
    if (!f.version.empty()) text += QString::fromUtf8(", версия ") + fromUtf8(f.version);
    return text;
}

}  // namespace

// A job as the window follows it: its use of the line, to withdraw it from the queue or to
// stop it between instruments and inside one.
struct LineWindow::Job {
    LineTicket ticket;
};

LineWindow::LineWindow(Host host) : host_(std::move(host)), directory_(QDir::homePath()) {
    setObjectName("LineWindow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(900, 520);
    jobDialog_ = std::make_unique<LineJobDialog>();
    connect(jobDialog_.get(), &LineJobDialog::cancelRequested, this, &LineWindow::cancelJob);
    createControls();
    connect(host_.line, &LineOwner::busyChanged, this, &LineWindow::updateButtons);

    chooseWritePath = [this](const QString& directory) {
        return QFileDialog::getOpenFileName(this, QString::fromUtf8("Записать конфигурацию"),
                                            directory, QString::fromUtf8(kConfigFilter));
    };
    chooseCsvPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QString::fromUtf8("Таблица линии"), suggested,
                                            QString::fromUtf8("CSV (*.csv)"));
    };
    choosePdfPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QString::fromUtf8("Отчёт о линии"), suggested,
                                            QString::fromUtf8("PDF (*.pdf)"));
    };
    confirmWrite = [this](const std::vector<rv::InstrumentResult>& preview) {
        WritePreview dialog(preview, this);
        return dialog.exec() == QDialog::Accepted;
    };
    baseline_ = line();
    // The title's "*" follows every change of the rows.
    connect(model_, &QAbstractItemModel::modelReset, this, &LineWindow::updateTitle);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &LineWindow::updateTitle);
    connect(model_, &QAbstractItemModel::dataChanged, this, &LineWindow::updateTitle);
    updateTitle();
    updateButtons();
}

// A job still queued or running goes on without the window: it is asked to stop, and what it
// posts no longer reaches the window.
LineWindow::~LineWindow() {
    // Let go first: the end reported meanwhile is no longer this window's.
    if (const std::shared_ptr<Job> job = std::move(job_)) job->ticket.cancel();
}

void LineWindow::createControls() {
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    portLabel_ = new QLabel(this);
    portLabel_->setObjectName("LinePort");
    top->addWidget(portLabel_, 1);
    top->addWidget(new QLabel(QString::fromUtf8("Найти:"), this));
    filterEdit_ = new QLineEdit(this);
    filterEdit_->setObjectName("LineFilter");
    filterEdit_->setPlaceholderText(QString::fromUtf8("метка или номер"));
    filterEdit_->setClearButtonEnabled(true);
    top->addWidget(filterEdit_);
    layout->addLayout(top);

    model_ = new LineTableModel(this);
    filter_ = new LineFilterModel(this);
    filter_->setSourceModel(model_);
    table_ = new QTableView(this);
    table_->setObjectName("LineTable");
    table_->setModel(filter_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(static_cast<int>(rv::LineColumn::Number), Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                            QAbstractItemView::SelectedClicked);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);
    connect(filterEdit_, &QLineEdit::textChanged, filter_, &LineFilterModel::setFilterText);
    connect(table_, &QTableView::doubleClicked, this, &LineWindow::doubleClicked);
    connect(model_, &LineTableModel::tagEdited, this, &LineWindow::markModified);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LineWindow::updateButtons);

    auto* jobs = new QHBoxLayout;
    auto addButton = [&](QBoxLayout* row, const char* name, const char* text, auto slot) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        button->setObjectName(name);
        row->addWidget(button);
        if constexpr (!std::is_same_v<decltype(slot), std::nullptr_t>)
            connect(button, &QPushButton::clicked, this, slot);
        return button;
    };
    QPushButton* search =
        addButton(jobs, "SearchButton", "Найти приборы", &LineWindow::searchInstruments);
    speedsButton_ = new QToolButton(this);
    speedsButton_->setObjectName("SpeedsButton");
    speedsButton_->setText(QString::fromUtf8("Скорости…"));
    speedsButton_->setPopupMode(QToolButton::InstantPopup);
    speedsMenu_ = new QMenu(speedsButton_);
    for (int i = 0; i < rv::kSpeedCount; ++i) {
        QAction* speed =
            speedsMenu_->addAction(QString::fromUtf8("%1 бод").arg(rv::BaudOfSpeedIndex(i)));
        speed->setCheckable(true);
        speed->setData(i);
    }
    speedsButton_->setMenu(speedsMenu_);
    jobs->addWidget(speedsButton_);
    setSearchSpeeds(rv::DefaultLineSearchSpeeds());
    jobs->addWidget(new QLabel(QString::fromUtf8("номера с"), this));
    first_ = new QSpinBox(this);
    first_->setObjectName("SearchFirst");
    jobs->addWidget(first_);
    jobs->addWidget(new QLabel(QString::fromUtf8("по"), this));
    last_ = new QSpinBox(this);
    last_->setObjectName("SearchLast");
    jobs->addWidget(last_);
    for (QSpinBox* box : {first_, last_}) box->setRange(1, 254);
    setSearchRange(1, 254);
    QPushButton* backup =
        addButton(jobs, "BackupButton", "Сохранить копии", &LineWindow::backupSelected);
    QPushButton* compare =
        addButton(jobs, "CompareButton", "Сравнить с копиями", &LineWindow::compareSelected);
    QPushButton* write = addButton(jobs, "WriteButton", "Записать конфигурацию…", nullptr);
    writeMenu_ = new QMenu(write);
    QAction* fromFile = writeMenu_->addAction(QString::fromUtf8("Из файла…"));
    fromFile->setObjectName("WriteFileAction");
    connect(fromFile, &QAction::triggered, this, [this] {
        if (!startable()) return;
        const QString path = chooseWritePath(directory_);
        if (!path.isEmpty()) writeFromFile(path);
    });
    QAction* fromWindow = writeMenu_->addAction(QString::fromUtf8("Из главного окна"));
    fromWindow->setObjectName("WriteWindowAction");
    connect(fromWindow, &QAction::triggered, this, &LineWindow::writeFromWindow);
    write->setMenu(writeMenu_);
    QPushButton* open =
        addButton(jobs, "OpenInWindowButton", "Открыть в окне", &LineWindow::openSelectedInWindow);
    jobs->addStretch();
    layout->addLayout(jobs);
    jobButtons_ = {search, backup, compare, write, open};

    auto* records = new QHBoxLayout;
    addButton(records, "HistoryButton", "История…", &LineWindow::showHistory);
    addButton(records, "JournalButton", "Журнал…", &LineWindow::showJournal);
    records->addStretch();
    addButton(records, "CsvButton", "Таблица в CSV…", &LineWindow::exportCsv);
    addButton(records, "PdfButton", "Отчёт PDF…", &LineWindow::exportPdf);
    layout->addLayout(records);
}

std::vector<int> LineWindow::searchSpeeds() const {
    std::vector<int> speeds;
    for (QAction* speed : speedsMenu_->actions())
        if (speed->isChecked()) speeds.push_back(speed->data().toInt());
    return speeds;
}

void LineWindow::setSearchSpeeds(const std::vector<int>& speeds) {
    for (QAction* speed : speedsMenu_->actions()) {
        const int index = speed->data().toInt();
        speed->setChecked(std::find(speeds.begin(), speeds.end(), index) != speeds.end());
    }
}

void LineWindow::setSearchRange(int first, int last) {
    first_->setValue(first);
    last_->setValue(last);
}

void LineWindow::updateButtons() {
    // A job waits behind a use that holds the line; the window starts one job at a time.
    const bool free = !host_.line->busy() && !job_;
    for (QPushButton* button : jobButtons_) button->setEnabled(free);
    speedsButton_->setEnabled(free);
    first_->setEnabled(free);
    last_->setEnabled(free);
}

void LineWindow::updateTitle() {
    const QString name =
        path_.isEmpty() ? QString::fromUtf8("новая линия") : QFileInfo(path_).fileName();
    const QString title = QString::fromUtf8("Обзор линии — %1%2").arg(name, unsaved() ? "*" : "");
    if (title != windowTitle()) setWindowTitle(title);
    const std::string& device = host_.line->settings().Device;
    const std::string port = line().Port;
    portLabel_->setText(QString::fromUtf8("Порт: %1")
                            .arg(fromUtf8(port == device ? device : port + " — " + device)));
}

void LineWindow::markModified() {
    updateTitle();
    emit lineChanged();
}

rv::LineFile LineWindow::line() const {
    rv::LineFile line = line_;
    const std::string chosen = host_.portName();
    // The file's own name for the port (a COM name, or a device) while it is the port in use.
    if (line_.Port != chosen && line_.Port != host_.line->settings().Device) line.Port = chosen;
    line.Instruments = rv::InstrumentsOf(model_->rows());
    return line;
}

bool LineWindow::unsaved() const {
    if (path_.isEmpty() && model_->rows().empty()) return false;
    return line() != baseline_;
}

bool LineWindow::confirmClose() {
    if (job_ || !unsaved()) return true;
    const QString text =
        path_.isEmpty()
            ? QString::fromUtf8("Найденные приборы не сохранены в файл линии. Сохранить их?")
            : QString::fromUtf8("Изменения линии «%1» не сохранены. Сохранить их?")
                  .arg(QFileInfo(path_).fileName());
    switch (host_.boxes->askSave(this, text)) {
        case MessageBoxes::SaveAnswer::Save:
            // Into the line's own file; a new line asks for one.
            return path_.isEmpty() ? save && save() : saveLine(path_);
        case MessageBoxes::SaveAnswer::Discard:
            revert();
            return true;
        case MessageBoxes::SaveAnswer::Cancel:
            break;
    }
    return false;
}

void LineWindow::revert() {
    model_->setRows(path_.isEmpty() ? std::vector<rv::LineRow>{}
                                    : rv::RowsOfLine(line_, copiesFolder()));
    baseline_ = line();
    updateTitle();
    emit lineChanged();
}

void LineWindow::closeEvent(QCloseEvent* event) {
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void LineWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) updateTitle();
    QWidget::changeEvent(event);
}

std::string LineWindow::copiesFolder() const {
    if (!path_.isEmpty()) return rv::CopiesFolderOf(path_.toStdString(), line_);
    return userCopiesFolder();
}

std::string LineWindow::userCopiesFolder() {
    const std::string user = rv::UserDataDirectory();
    return user.empty() ? std::string(rv::kDefaultCopiesFolder)
                        : user + "/" + rv::kDefaultCopiesFolder;
}

std::string LineWindow::journalPath() const {
    return path_.isEmpty() ? rv::DefaultJournalPath() : rv::JournalPathOf(path_.toStdString());
}

bool LineWindow::openLine(const QString& path) {
    // A job's results belong to the table it started on.
    if (!startable()) return false;
    rv::LineFile loaded;
    const rv::LineLoadResult result = rv::LoadLineFile(path.toStdString(), loaded);
    if (!result.ok) {
        host_.boxes->error(this,
                           QString::fromUtf8("Линия не открыта.\n%1").arg(fromUtf8(result.error)));
        return false;
    }
    if (!result.warnings.empty()) {
        QStringList lines;
        for (const std::string& w : result.warnings) lines << fromUtf8(w);
        host_.boxes->warning(
            this, QString::fromUtf8("В файле «%1» есть неизвестные поля, они пропущены:\n%2")
                      .arg(QFileInfo(path).fileName(), lines.join('\n')));
    }
    // The file's port for the jobs, unless it is the one in use already.
    std::string portProblem;
    if (loaded.Port != host_.line->settings().Device) portProblem = host_.applyPort(loaded.Port);
    line_ = loaded;
    path_ = QFileInfo(path).absoluteFilePath();
    directory_ = QFileInfo(path).absolutePath();
    model_->setRows(rv::RowsOfLine(line_, copiesFolder()));
    baseline_ = line();
    table_->resizeColumnsToContents();
    updateTitle();
    emit lineChanged();
    if (!portProblem.empty()) {
        host_.boxes->warning(
            this, QString::fromUtf8("Линия «%1» открыта, но её порт не выбран: %2.\nЗадания по "
                                    "линии пойдут через прежний порт, %3.")
                      .arg(QFileInfo(path).fileName(), fromUtf8(portProblem),
                           fromUtf8(host_.portName() + " — " + host_.line->settings().Device)));
    }
    return true;
}

bool LineWindow::saveLine(const QString& path) {
    QString target = path;
    if (!target.endsWith(QString::fromUtf8(rv::kLineExtension)))
        target += QString::fromUtf8(rv::kLineExtension);
    const rv::LineFile saved = line();
    std::string error;
    if (!rv::SaveLineFile(target.toStdString(), saved, error)) {
        host_.boxes->error(this, fromUtf8(error));
        return false;
    }
    line_ = saved;
    baseline_ = saved;
    path_ = QFileInfo(target).absoluteFilePath();
    directory_ = QFileInfo(target).absolutePath();
    updateTitle();
    emit lineChanged();
    return true;
}

std::vector<rv::LineInstrument> LineWindow::chosen() const {
    std::vector<rv::LineInstrument> instruments;
    QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        for (int r = 0; r < filter_->rowCount(); ++r) rows << filter_->index(r, 0);
    }
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        instruments.push_back(model_->rowAt(filter_->mapToSource(index).row()).instrument);
    return instruments;
}

const rv::LineRow* LineWindow::currentRow() const {
    const QModelIndex current = table_->currentIndex();
    if (current.isValid()) return &model_->rowAt(filter_->mapToSource(current).row());
    if (filter_->rowCount() == 1)
        return &model_->rowAt(filter_->mapToSource(filter_->index(0, 0)).row());
    return nullptr;
}

bool LineWindow::startable() {
    if (job_) {
        host_.boxes->information(this, QString::fromUtf8("Задание по линии ещё не закончено."));
        return false;
    }
    return true;
}

void LineWindow::runJob(LineTask task, const QString& title, rv::JobKind kind, const JobWork& work,
                        const JobDone& done) {
    auto job = std::make_shared<Job>();
    job_ = job;
    updateButtons();
    jobDialog_->begin(title);
    if (host_.line->busy())
        jobDialog_->setCurrent(QString::fromUtf8("Ждёт линию: %1").arg(host_.line->busyText()));
    auto outcome = std::make_shared<rv::JobOutcome>();
    const QPointer<LineWindow> self(this);
    LineRequest request;
    request.task = task;
    request.raisedPriority = true;
    request.progress = [self](int percent) {
        if (self) self->jobDialog_->setProgress(percent);
    };
    job->ticket = host_.line->enqueue(
        request,
        [outcome, work, kind, self](LineUse& use) {
            rv::JobObserver observer;
            observer.starting = [&use, self](size_t position, size_t count,
                                             const rv::LineInstrument& instrument) {
                use.post([self, position, count, instrument] {
                    if (self)
                        self->jobDialog_->setCurrent(QString::fromUtf8("%1 (%2 из %3)")
                                                         .arg(instrumentName(instrument))
                                                         .arg(position + 1)
                                                         .arg(count));
                });
            };
            observer.progress = [&use](int percent) { use.progress(percent); };
            observer.finished = [&use, self, kind](const rv::InstrumentResult& result) {
                use.post([self, result, kind] {
                    if (!self) return;
                    self->model_->takeResult(result, kind);
                    self->jobDialog_->addResult(instrumentName(result.instrument) + ": " +
                                                fromUtf8(rv::ResultSummary(result, kind)));
                });
            };
            observer.stopRequested = [&use] { return use.stopRequested(); };
            *outcome = work(use, observer);
            return outcome->outcome;
        },
        [self, job, outcome, done](const LineResult& result) {
            if (!self || self->job_ != job) return;
            self->job_.reset();
            self->jobEnded(result, *outcome);
            self->updateButtons();
            if (done && result.outcome != rv::Outcome::Cancelled) done(*outcome);
        });
}

void LineWindow::jobEnded(const LineResult& result, const rv::JobOutcome& outcome) {
    QString summary;
    switch (result.outcome) {
        case rv::Outcome::Done:
            summary = QString::fromUtf8("Выполнено, приборов: %1").arg(outcome.results.size());
            break;
        case rv::Outcome::Cancelled:
            summary = QString::fromUtf8("Остановлено");
            break;
        case rv::Outcome::Failed:
            summary = fromUtf8(rv::ResultText(rv::Outcome::Failed, result.status));
            if (!result.detail.empty()) summary += "\n" + fromUtf8(result.detail);
            break;
    }
    jobDialog_->end(summary);
    table_->resizeColumnsToContents();
}

void LineWindow::cancelJob() {
    if (job_) job_->ticket.cancel();
}

void LineWindow::searchInstruments() {
    if (!startable()) return;
    rv::SpeedSearchPlan plan;
    plan.speedIndexes = searchSpeeds();
    plan.first = static_cast<unsigned>(std::min(first_->value(), last_->value()));
    plan.last = static_cast<unsigned>(std::max(first_->value(), last_->value()));
    plan.identify = true;
    if (plan.speedIndexes.empty()) {
        host_.boxes->information(this, QString::fromUtf8("Не выбрано ни одной скорости."));
        return;
    }
    auto found = std::make_shared<std::vector<rv::FoundInstrument>>();
    const QPointer<LineWindow> self(this);
    runJob(
        LineTask::LineSearch, QString::fromUtf8("Поиск приборов на линии"), rv::JobKind::Compare,
        [plan, found, self](LineUse& use, const rv::JobObserver&) {
            rv::SpeedSearchObserver o;
            o.probing = [&use, self](unsigned baud, unsigned net, double secondsLeft) {
                use.post([self, baud, net, secondsLeft] {
                    if (self)
                        self->jobDialog_->setCurrent(
                            QString::fromUtf8("Опрос номера %1 на %2 бод, осталось не более %3 с")
                                .arg(net)
                                .arg(baud)
                                .arg(static_cast<int>(std::ceil(secondsLeft))));
                });
            };
            o.found = [&use, self](const rv::FoundInstrument& f) {
                use.post([self, f] {
                    if (!self) return;
                    self->model_->takeFound(f);
                    self->jobDialog_->addResult(foundText(f));
                });
            };
            o.progress = [&use](int percent) { use.progress(percent); };
            o.speedFixed = [&use, self] {
                use.post([self] {
                    if (self)
                        self->jobDialog_->addResult(
                            QString::fromUtf8(rv::kSpeedFixedByGatewayText));
                });
            };
            const rv::SpeedSearchResult result = rv::SearchSpeeds(use.link(), plan, o);
            *found = result.found;
            // Stopped or not, the rows take what the search asked and heard, and no more.
            use.post([self, result] {
                if (!self) return;
                self->model_->finishSearch(result);
                self->markModified();
            });
            rv::JobOutcome outcome;
            outcome.outcome = result.outcome;
            return outcome;
        },
        [self, found](const rv::JobOutcome&) {
            if (self)
                self->jobDialog_->end(
                    QString::fromUtf8("Поиск закончен, найдено приборов: %1").arg(found->size()));
        });
}

void LineWindow::backupSelected() {
    if (!startable()) return;
    const std::vector<rv::LineInstrument> instruments = chosen();
    if (instruments.empty()) return;
    const std::string copies = copiesFolder();
    runJob(
        LineTask::LineBackup, QString::fromUtf8("Сохранение копий"), rv::JobKind::Backup,
        [instruments, copies](LineUse& use, const rv::JobObserver& observer) {
            return rv::BackupInstruments(use.link(), instruments, copies, observer);
        },
        [this](const rv::JobOutcome&) { markModified(); });
}

void LineWindow::compareSelected() {
    if (!startable()) return;
    const std::vector<rv::LineInstrument> instruments = chosen();
    if (instruments.empty()) return;
    const std::string copies = copiesFolder();
    runJob(LineTask::LineCompare, QString::fromUtf8("Сравнение с копиями"), rv::JobKind::Compare,
           [instruments, copies](LineUse& use, const rv::JobObserver& observer) {
               return rv::CompareWithCopies(use.link(), instruments, copies, observer);
           });
}

void LineWindow::writeFromFile(const QString& path) {
    if (!startable()) return;
    rv::ConfigurationFile file;
    const rv::LoadResult loaded = rv::LoadConfigurationFile(path.toStdString(), file);
    if (!loaded.ok) {
        host_.boxes->error(this, QString::fromUtf8("Файл «%1» не открыт.\n%2")
                                     .arg(QFileInfo(path).fileName(), fromUtf8(loaded.error)));
        return;
    }
    directory_ = QFileInfo(path).absolutePath();
    auto raw = std::make_shared<rv::RawBlocks>(file.Instrument.Raw);
    auto source = std::make_shared<rv::WriteSource>();
    source->image = file.Image;
    source->base = raw.get();
    source->identity = rv::IdentityOf(file.Image, file.Instrument.Family);
    source->where = "в файле";
    writeSource(source, raw);
}

void LineWindow::writeFromWindow() {
    if (!startable()) return;
    const std::optional<WindowConfiguration> config =
        host_.windowConfiguration ? host_.windowConfiguration() : std::nullopt;
    if (!config) {
        host_.boxes->information(
            this, QString::fromUtf8("В главном окне нет конфигурации: прочитайте прибор или "
                                    "откройте файл."));
        return;
    }
    std::shared_ptr<rv::RawBlocks> raw;
    if (config->fromFile) raw = std::make_shared<rv::RawBlocks>(config->record.Raw);
    auto source = std::make_shared<rv::WriteSource>();
    source->image = config->image;
    source->base = raw.get();
    source->identity = rv::IdentityOf(config->image, config->record.Family);
    source->where = "в окне";
    writeSource(source, raw);
}

// First a preview that writes nothing; once the user has seen each instrument's differences
// and agreed, the write of the instruments that answered.
void LineWindow::writeSource(const std::shared_ptr<rv::WriteSource>& source,
                             const std::shared_ptr<rv::RawBlocks>& raw) {
    const std::vector<rv::LineInstrument> instruments = chosen();
    if (instruments.empty()) return;
    const QPointer<LineWindow> self(this);
    runJob(
        LineTask::LinePreview, QString::fromUtf8("Подготовка записи конфигурации"),
        rv::JobKind::Preview,
        [instruments, source, raw](LineUse& use, const rv::JobObserver& observer) {
            return rv::PreviewWrite(use.link(), instruments, *source, observer);
        },
        [self, source, raw](const rv::JobOutcome& preview) {
            if (!self || !self->confirmWrite(preview.results)) return;
            std::vector<rv::LineInstrument> targets;
            for (const rv::InstrumentResult& r : preview.results)
                if (r.outcome == rv::Outcome::Done) targets.push_back(r.instrument);
            if (targets.empty()) return;
            const std::string journal = self->journalPath();
            MessageBoxes* boxes = self->host_.boxes;
            self->runJob(
                LineTask::LineWrite, QString::fromUtf8("Запись конфигурации в приборы"),
                rv::JobKind::Write,
                [targets, source, raw, journal, boxes, self](LineUse& use,
                                                             const rv::JobObserver& observer) {
                    // The preview warned already; each instrument of another kind is asked
                    // about again just before it would be written.
                    const rv::ConfirmIdentity confirm =
                        [&use, boxes, self](const rv::LineInstrument& instrument,
                                            const std::vector<std::string>& warnings) {
                            bool yes = false;
                            use.ask([&] {
                                QStringList lines;
                                for (const std::string& w : warnings) lines << fromUtf8(w);
                                yes = boxes->confirmRisky(
                                    self.data(),
                                    QString::fromUtf8("%1 не такой, как прибор, из "
                                                      "которого взята конфигурация:\n%2"
                                                      "\n\nЗаписать в него?")
                                        .arg(instrumentName(instrument), lines.join('\n')));
                            });
                            return yes;
                        };
                    return rv::WriteInstruments(use.link(), targets, *source, journal, observer,
                                                confirm);
                });
        });
}

void LineWindow::openSelectedInWindow() {
    const rv::LineRow* row = currentRow();
    if (row == nullptr) {
        host_.boxes->information(this, QString::fromUtf8("Выберите прибор в таблице."));
        return;
    }
    if (host_.openInWindow) host_.openInWindow(row->instrument);
}

void LineWindow::doubleClicked(const QModelIndex& index) {
    const rv::LineRow& row = model_->rowAt(filter_->mapToSource(index).row());
    const auto column = static_cast<rv::LineColumn>(index.column());
    if (column == rv::LineColumn::Number) {
        if (host_.openInWindow) host_.openInWindow(row.instrument);
    } else if (column == rv::LineColumn::AsInCopy && row.match == rv::LineRow::CopyMatch::Differs) {
        differences_ = std::make_unique<DifferenceWindow>(
            QString::fromUtf8("%1: отличия от копии").arg(instrumentName(row.instrument)),
            QString::fromUtf8("В приборе"), row.differenceList);
        differences_->show();
        differences_->raise();
    }
}

void LineWindow::showHistory() {
    const rv::LineRow* row = currentRow();
    if (row == nullptr || row->instrument.Id == 0) {
        host_.boxes->information(
            this, QString::fromUtf8("Выберите в таблице прибор, у которого известен ID."));
        return;
    }
    history_ = std::make_unique<HistoryWindow>(
        row->instrument,
        rv::LoadHistory(copiesFolder(), row->instrument.Model, row->instrument.Id));
    history_->show();
    history_->raise();
}

void LineWindow::showJournal() {
    const std::string path = journalPath();
    journal_ = std::make_unique<JournalWindow>(fromUtf8(path), rv::ReadJournal(path),
                                               rv::InstrumentsOf(model_->rows()));
    if (const rv::LineRow* row = currentRow()) {
        const std::vector<rv::LineRow>& rows = model_->rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].instrument.NetNumber == row->instrument.NetNumber)
                journal_->filter()->setCurrentIndex(static_cast<int>(i) + 1);
    }
    journal_->show();
    journal_->raise();
}

void LineWindow::exportCsv() {
    const QString base = path_.isEmpty() ? QString::fromUtf8("линия")
                                         : QFileInfo(path_).fileName().section('.', 0, 0);
    const QString path = chooseCsvPath(QDir(directory_).filePath(base + ".csv"));
    if (path.isEmpty()) return;
    std::string error;
    if (!rv::SaveLineTableCsv(path.toStdString(), model_->rows(), error))
        host_.boxes->error(this, fromUtf8(error));
}

void LineWindow::exportPdf() {
    const QString base = path_.isEmpty() ? QString::fromUtf8("линия")
                                         : QFileInfo(path_).fileName().section('.', 0, 0);
    const QString path = choosePdfPath(QDir(directory_).filePath(base + ".pdf"));
    if (path.isEmpty()) return;
    QString error;
    if (!WriteLineReport(path, base, fromUtf8(host_.line->settings().Device),
                         LineReportInstruments(model_->rows(), copiesFolder()), error))
        host_.boxes->error(this, error);
}
