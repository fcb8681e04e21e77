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
    };

    explicit LineWindow(Host host);
    ~LineWindow() override;

    // Opens a line file and shows its instruments unchecked. A bad file: an error naming the
    // file and the place, and the line shown stays. False when not opened.
    bool openLine(const QString& path);
    // Saves the line as the table has it; false after an error shown.
    bool saveLine(const QString& path);
    // The line file shown; empty for a line not yet saved.
    const QString& linePath() const { return path_; }
    // The line as the table has it, with the window's port.
    rv::LineFile line() const;
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

  private:
    struct Job;
    using JobWork = std::function<rv::JobOutcome(LineUse& use, const rv::JobObserver& observer)>;
    using JobDone = std::function<void(const rv::JobOutcome& outcome)>;

    void createControls();
    void updateButtons();
    void updateTitle();
    void markModified();
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
    bool modified_ = false;
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
