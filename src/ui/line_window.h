#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"
#include "line/line_file.h"
#include "line/line_jobs.h"
#include "line/line_table.h"
#include "ui/line_owner.h"

class DifferenceWindow;
class HistoryWindow;
class JournalWindow;
class LineFilterModel;
class LineJobDialog;
class LineTableModel;
class MessageBoxes;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QSpinBox;
class QTableView;
class QToolButton;

// The main window's configuration, as a write to several instruments takes it.
struct WindowConfiguration {
    rv::ConfigImage image;
    rv::InstrumentRecord record;
    bool fromFile = false;
};

// "Обзор линии": the instruments of one line in a table of their own, and the jobs on them.
// Every job is a use of the line through its owner, queued behind a use that holds the line,
// with one progress window that lists each instrument's result as it goes and can stop it
// between instruments or inside one. The line may come from a line file, and goes back to one.
class LineWindow : public QWidget {
    Q_OBJECT
  public:
    struct Host {
        LineOwner* line = nullptr;
        MessageBoxes* boxes = nullptr;
        // The main window's configuration, when it holds a whole one.
        std::function<std::optional<WindowConfiguration>()> windowConfiguration;
        // The main window reads this instrument.
        std::function<void(const rv::LineInstrument&)> openInWindow;
        // The port the main window has chosen for the line, as a line file names it ("COM2").
        std::function<std::string()> portName;
        // Has the main window choose the port a line file names: empty once chosen, else why
        // not (Russian), the port chosen staying as it was.
        std::function<std::string(const std::string& port)> applyPort;
    };

    explicit LineWindow(Host host);
    ~LineWindow() override;

    // Opens a line file, shows its instruments unchecked and has the line use the file's
    // port (when that port cannot be used, a warning says why and the port stays). A bad
    // file: an error naming the file and the place, and the line shown and its port stay.
    // False when not opened.
    bool openLine(const QString& path);
    // Saves the line as the table has it; false after an error shown.
    bool saveLine(const QString& path);
    // The line file shown; empty for a line not yet saved.
    const QString& linePath() const { return path_; }
    // The line as the table has it, with the port the line uses: the file's own name for it
    // while it is the port in use, else the main window's COM name.
    rv::LineFile line() const;
    // Whether the line holds what "Сохранить линию…" would store and has not: instruments
    // found, updated or tagged, another port. A new line holds something once it has rows.
    bool unsaved() const;
    // Asks about unsaved changes before the window closes or the program ends: "Сохранить"
    // (into the line's file, or through `save` for a new line), "Не сохранять" (the line goes
    // back to its file) or "Отмена". True when the window may go; no asking while a job of
    // the window runs.
    bool confirmClose();
    // Saves a new line as "Сохранить линию…" does, asking for its file; true once saved.
    std::function<bool()> save;
    std::string copiesFolder() const;
    // Where copies go without a line file: beside the user's own journal.
    static std::string userCopiesFolder();
    std::string journalPath() const;

    // The jobs, on the selected rows (every row shown when none is selected).
    void searchInstruments();
    void backupSelected();
    void compareSelected();
    // Writes a configuration file, or the main window's configuration, to the selected rows,
    // after a preview of what changes in each.
    void writeFromFile(const QString& path);
    void writeFromWindow();
    void openSelectedInWindow();
    void showHistory();
    void showJournal();
    void exportCsv();
    void exportPdf();
    // Asks the running or queued job to stop.
    void cancelJob();
    bool jobRunning() const { return job_ != nullptr; }

    // The speeds the search goes through (indexes of the speed list).
    std::vector<int> searchSpeeds() const;
    void setSearchSpeeds(const std::vector<int>& speeds);
    // The network numbers the search asks, from `first` to `last` (1 to 254 at the start).
    void setSearchRange(int first, int last);

    // Where the answers of the file dialogs and the preview come from; an empty path means
    // the user cancelled.
    std::function<QString(const QString& directory)> chooseWritePath;
    std::function<QString(const QString& suggested)> chooseCsvPath;
    std::function<QString(const QString& suggested)> choosePdfPath;
    std::function<bool(const std::vector<rv::InstrumentResult>& preview)> confirmWrite;

    LineTableModel* model() const { return model_; }
    LineFilterModel* filterModel() const { return filter_; }
    QTableView* table() const { return table_; }
    QLineEdit* filterEdit() const { return filterEdit_; }
    LineJobDialog* jobDialog() const { return jobDialog_.get(); }
    DifferenceWindow* differenceWindow() const { return differences_.get(); }
    JournalWindow* journalWindow() const { return journal_.get(); }
    HistoryWindow* historyWindow() const { return history_.get(); }

  signals:
    // The line shown has changed: opened, saved, searched, a tag typed.
    void lineChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // The port and the title follow what the main window chose meanwhile.
    void changeEvent(QEvent* event) override;

  private:
    struct Job;
    using JobWork = std::function<rv::JobOutcome(LineUse& use, const rv::JobObserver& observer)>;
    using JobDone = std::function<void(const rv::JobOutcome& outcome)>;

    void createControls();
    void updateButtons();
    void updateTitle();
    void markModified();
    // The line as its file has it, or empty for a new line; nothing unsaved.
    void revert();
    std::vector<rv::LineInstrument> chosen() const;
    const rv::LineRow* currentRow() const;
    void doubleClicked(const QModelIndex& index);
    bool startable();
    void runJob(LineTask task, const QString& title, rv::JobKind kind, const JobWork& work,
                const JobDone& done = {});
    void jobEnded(const LineResult& result, const rv::JobOutcome& outcome);
    void writeSource(const std::shared_ptr<rv::WriteSource>& source,
                     const std::shared_ptr<rv::RawBlocks>& raw);

    Host host_;
    rv::LineFile line_;
    QString path_;
    QString directory_;
    // The line as it was last opened, saved or reverted: what "unsaved" is measured against.
    rv::LineFile baseline_;
    LineTableModel* model_ = nullptr;
    LineFilterModel* filter_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* filterEdit_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QToolButton* speedsButton_ = nullptr;
    QSpinBox* first_ = nullptr;
    QSpinBox* last_ = nullptr;
    QMenu* speedsMenu_ = nullptr;
    QMenu* writeMenu_ = nullptr;
    std::vector<QPushButton*> jobButtons_;
    std::unique_ptr<LineJobDialog> jobDialog_;
    std::unique_ptr<DifferenceWindow> differences_;
    std::unique_ptr<HistoryWindow> history_;
    std::unique_ptr<JournalWindow> journal_;
    std::shared_ptr<Job> job_;
};
