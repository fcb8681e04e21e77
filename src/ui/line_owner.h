#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/exchange.h"
#include "link/line_settings.h"

class MessageBoxes;
class QWidget;

namespace rv {
struct Link;
class TraceSink;
}  // namespace rv

// What a use of the line does, as the busy text names it.
enum class LineTask {
    Read,
    Write,
    Search,
    Measurement,
    PasswordWrite,
    NetworkWrite,
    Identity,
    Watch,
    LineCheck,
    // Jobs on the instruments of a line, one after the other.
    LineSearch,
    LineBackup,
    LineCompare,
    LinePreview,
    LineWrite,
};

// What the line is doing, after "идёт": "чтение прибора 1" for a read at network number 1.
QString LineTaskText(LineTask task, unsigned netNumber);

// How a use of the line ended: the operation's outcome, the status it ended with and, when the
// port did not open, why.
struct LineResult {
    rv::Outcome outcome = rv::Outcome::Failed;
    int32_t status = 0;
    std::string detail;
};

// A use of the line as its caller asks for it.
struct LineRequest {
    LineTask task = LineTask::Read;
    // The worker raises its own priority for the operation (reads and writes).
    bool raisedPriority = false;
    // The operation's gauge, run on the window's thread for each step the work reports.
    std::function<void(int percent)> progress;
};

// The mailbox between a running operation and the window's thread: what the work posts, in
// order, and its answers. Private to the line owner's file; declared here for LineUse.
struct LineMailbox;

// What an operation's work may touch while it runs on the worker: its own session on the line
// (made from a copy of the settings when the use started, and its alone), and the ways back to
// the window's thread. Nothing else: no widget, no window data, no other link.
class LineUse {
  public:
    // The operation's own session: settings, port, reply fields, status, cancel request.
    rv::Link& link() { return link_; }
    // `job` runs on the window's thread, after everything posted before it and before the
    // use's end is reported.
    void post(std::function<void()> job);
    // `question` (a message box) runs on the window's thread while the work waits for its
    // answer. When the line's owner goes away meanwhile, the question is dropped unasked.
    void ask(const std::function<void()>& question);
    // Moves the use's gauge (LineRequest::progress) to `percent`.
    void progress(int percent);
    // The use has been asked to stop: for work that ends between its steps.
    bool stopRequested() const;

  private:
    friend class LineOwner;
    LineUse(rv::Link& link, LineMailbox& mailbox, std::function<void(int)> progress)
        : link_(link), mailbox_(mailbox), progress_(std::move(progress)) {}

    rv::Link& link_;
    LineMailbox& mailbox_;
    std::function<void(int)> progress_;
};

class LineOwner;

// A use as its caller holds it: the way to withdraw that one use while it waits, or to stop it
// once it runs, without touching another caller's use. An empty ticket is a refused request.
class LineTicket {
  public:
    LineTicket() = default;
    // The request was taken (not refused).
    explicit operator bool() const { return id_ != 0; }
    // While the use waits in the queue: it leaves the queue, never starts, and its end is
    // reported at once as cancelled. While it runs: its cancel request is raised, as
    // LineOwner::cancel does. Once it has ended, or with its owner gone: nothing.
    void cancel() const;

  private:
    friend class LineOwner;
    LineTicket(LineOwner* owner, uint64_t id) : owner_(owner), id_(id) {}

    QPointer<LineOwner> owner_;
    uint64_t id_ = 0;
};

// The one owner of the serial line. It holds the line's settings as the window edits them,
// and the right to use the line: every operation on it (read, write, search, both
// calibrations, the dialog writes, the identity query, the sensor view's run, line-wide jobs)
// asks here. One use at a time runs on a worker thread with a session of its own, made from a
// copy of the settings; a request while the line is busy is refused with "Линия занята: идёт
// ..." and sends nothing, or waits in the queue when its caller asks for that. Every window
// hears busy and idle through one signal. Lives on the window's thread and is used only there,
// but for what LineUse gives the work.
class LineOwner : public QObject {
    Q_OBJECT
  public:
    // The work of a use, run on the worker; what it returns is the result's outcome, and the
    // status and detail are its link's at its end.
    using Work = std::function<rv::Outcome(LineUse&)>;
    // Runs on the window's thread once the work has returned and everything it posted has run.
    using Ended = std::function<void(const LineResult&)>;

    explicit LineOwner(MessageBoxes& boxes);
    // A use still running is cancelled and waited for, at most the line's own time-out;
    // nothing it posted runs any more, and a question it asks meanwhile goes unasked.
    ~LineOwner() override;
    LineOwner(const LineOwner&) = delete;
    LineOwner& operator=(const LineOwner&) = delete;

    // The line's settings as the window's controls set them. Only the window's thread reads or
    // writes them; a use copies them when it starts.
    rv::LineSettings& settings() { return settings_; }
    const rv::LineSettings& settings() const { return settings_; }
    // Receives every frame of every use; not owned.
    void setTrace(rv::TraceSink* trace) { trace_ = trace; }

    bool busy() const { return running_ != nullptr; }
    // The running use's task; nothing while idle.
    std::optional<LineTask> task() const;
    // "идёт чтение прибора 1" while busy; empty while idle.
    QString busyText() const;

    // Whether the line takes a request now. While busy it shows the refusal over `asker`
    // and says no, so a handler can refuse before it asks its confirmation.
    bool available(QWidget* asker);
    // Starts `work` on the worker with a session of its own and returns at once; `ended`
    // follows, unless `asker` has gone by then. While busy: the refusal over `asker`, an empty
    // ticket, and nothing is sent.
    LineTicket start(const LineRequest& request, QWidget* asker, Work work, Ended ended = {});
    // As start, then serves the window's events until the use has ended, and returns its
    // result; nothing when refused. For a button's handler, which goes on once it is over.
    std::optional<LineResult> run(const LineRequest& request, QWidget* asker, const Work& work);
    // Runs `work` as soon as the line is free: at once when idle, else after the uses queued
    // before it. Never refused. The ticket withdraws or stops this use alone.
    LineTicket enqueue(const LineRequest& request, Work work, Ended ended = {});
    // Uses waiting in the queue.
    size_t queued() const { return queue_.size(); }

    // Asks the running use to stop: the progress window's "Отмена", the search button pressed
    // again, the sensor view's "Стоп". The request wakes the use's wait at once, and stands
    // also when the use has not opened its session yet.
    void cancel();
    // Drops the queue (each dropped use ends Cancelled) and cancels the running use: the
    // program is closing.
    void cancelAll();

  signals:
    // The line became busy or idle. Every top-level window enables or disables what would
    // start a use of the line.
    void busyChanged(bool busy);

  private:
    friend struct LineMailbox;
    friend class LineTicket;
    struct Operation;
    struct Queued {
        uint64_t id = 0;
        LineRequest request;
        Work work;
        Ended ended;
    };

    void launch(uint64_t id, const LineRequest& request, QPointer<QObject> context, bool hasContext,
                Work work, Ended ended);
    // The ticket's cancel: the use `id` leaves the queue, or is asked to stop when it runs.
    void cancel(uint64_t id);
    void refuse(QWidget* asker);
    // From the worker: the running use has posted something.
    void poke();
    // On the window's thread: runs what the running use posted, in order, and ends the use
    // after its last job.
    Q_INVOKABLE void drain();
    // On the window's thread, once the work has returned: the use's end.
    void finish();
    // Tells the windows when busy or idle has changed since they last heard.
    void announce();

    MessageBoxes& boxes_;
    rv::LineSettings settings_;
    rv::TraceSink* trace_ = nullptr;
    std::unique_ptr<Operation> running_;
    std::deque<Queued> queue_;
    uint64_t lastId_ = 0;
    bool announcedBusy_ = false;
};
