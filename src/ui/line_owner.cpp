#include "ui/line_owner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "link/link.h"
#include "link/priority.h"
#include "ui/message_boxes.h"

namespace {

// How long the window's thread runs a use's posted jobs before it serves its other events.
constexpr std::chrono::milliseconds kDrainSlice{2};

}  // namespace

// The worker and the window's thread meet only in the mailbox, under its mutex: the work
// posts its jobs there, and the window's thread, poked by a queued call, takes them out in
// order. The last job of every use is its end.
struct LineMailbox {
    LineOwner* owner = nullptr;
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<std::function<void()>> jobs;
    // The work has returned: once the jobs before are done, the use is over.
    bool ended = false;
    // The owner is going: nothing posted runs any more, and questions go unasked.
    bool abandoned = false;

    // From the worker. Only the first job of a batch pokes the window's thread.
    void post(std::function<void()> job) { put(std::move(job), false); }
    // From the worker, as its last step.
    void end() { put({}, true); }

    // On the window's thread: the next job; none with `over` set when the use has ended.
    std::function<void()> take(bool& over) {
        const std::lock_guard<std::mutex> lock(mutex);
        over = jobs.empty() && ended;
        if (jobs.empty()) return {};
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        return job;
    }

  private:
    void put(std::function<void()> job, bool last) {
        bool poke = false;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (abandoned) return;
            poke = jobs.empty() && !ended;
            if (job) jobs.push_back(std::move(job));
            ended = ended || last;
        }
        if (poke) owner->poke();
    }
};

struct LineOwner::Operation {
    Operation(uint64_t i, const rv::LineSettings& settings, LineRequest r)
        : id(i), request(std::move(r)), netNumber(settings.NetNumber), link(settings) {}

    uint64_t id;
    LineRequest request;
    unsigned netNumber;
    rv::Link link;  // the use's own session, from the settings as they were at its start
    Work work;
    Ended ended;
    // Who asked; the end is not reported to one that has gone meanwhile.
    QPointer<QObject> context;
    bool hasContext = false;
    LineMailbox mailbox;
    LineResult result;  // the worker's, until it posts the end
    std::thread thread;
};

QString LineTaskText(LineTask task, unsigned netNumber) {
    const char* text = "";
    switch (task) {
        case LineTask::Read:
            text = "чтение прибора %1";
            break;
        case LineTask::Write:
            text = "запись в прибор %1";
            break;
        case LineTask::Search:
            return QString::fromUtf8("поиск приборов");
        case LineTask::Measurement:
            text = "измерение сопротивления в приборе %1";
            break;
        case LineTask::PasswordWrite:
            text = "запись пароля в прибор %1";
            break;
        case LineTask::NetworkWrite:
            text = "запись сетевого номера в прибор %1";
            break;
        case LineTask::Identity:
            text = "опрос прибора %1";
            break;
        case LineTask::Watch:
            text = "наблюдение за датчиком прибора %1";
            break;
        case LineTask::LineCheck:
            return QString::fromUtf8("проверка линии");
        case LineTask::LineSearch:
            return QString::fromUtf8("поиск приборов на линии");
        case LineTask::LineBackup:
            return QString::fromUtf8("сохранение копий");
        case LineTask::LineCompare:
            return QString::fromUtf8("сравнение с копиями");
        case LineTask::LinePreview:
            return QString::fromUtf8("подготовка записи в приборы");
        case LineTask::LineWrite:
            return QString::fromUtf8("запись конфигурации в приборы");
    }
    return QString::fromUtf8(text).arg(netNumber);
}

void LineUse::post(std::function<void()> job) { mailbox_.post(std::move(job)); }

void LineUse::ask(const std::function<void()>& question) {
    LineMailbox* mailbox = &mailbox_;
    bool answered = false;
    mailbox->post([mailbox, &question, &answered] {
        question();
        // Told under the lock: the work, and with it `answered`, cannot go before this ends.
        const std::lock_guard<std::mutex> lock(mailbox->mutex);
        answered = true;
        mailbox->answered.notify_all();
    });
    std::unique_lock<std::mutex> lock(mailbox->mutex);
    mailbox->answered.wait(lock, [&] { return answered || mailbox->abandoned; });
}

void LineUse::progress(int percent) {
    if (!progress_) return;
    post([show = progress_, percent] { show(percent); });
}

bool LineUse::stopRequested() const { return link_.CancelFlag.requested(); }

LineOwner::LineOwner(MessageBoxes& boxes) : boxes_(boxes) {}

LineOwner::~LineOwner() {
    queue_.clear();
    if (!running_) return;
    running_->link.CancelFlag.request();
    {
        const std::lock_guard<std::mutex> lock(running_->mailbox.mutex);
        running_->mailbox.abandoned = true;
        running_->mailbox.jobs.clear();
    }
    running_->mailbox.answered.notify_all();
    // The cancel request has woken the use's wait; it ends at its next step.
    running_->thread.join();
}

std::optional<LineTask> LineOwner::task() const {
    if (!running_) return std::nullopt;
    return running_->request.task;
}

QString LineOwner::busyText() const {
    if (!running_) return {};
    return QString::fromUtf8("идёт ") + LineTaskText(running_->request.task, running_->netNumber);
}

void LineOwner::refuse(QWidget* asker) {
    boxes_.warning(asker, QString::fromUtf8("Линия занята: ") + busyText());
}

bool LineOwner::available(QWidget* asker) {
    if (!busy()) return true;
    refuse(asker);
    return false;
}

LineTicket LineOwner::start(const LineRequest& request, QWidget* asker, Work work, Ended ended) {
    if (!available(asker)) return {};
    const uint64_t id = ++lastId_;
    launch(id, request, asker, asker != nullptr, std::move(work), std::move(ended));
    announce();
    return {this, id};
}

std::optional<LineResult> LineOwner::run(const LineRequest& request, QWidget* asker,
                                         const Work& work) {
    if (!available(asker)) return std::nullopt;
    std::optional<LineResult> result;
    QEventLoop loop;
    launch(++lastId_, request, nullptr, false, work, [&](const LineResult& ended) {
        result = ended;
        loop.quit();
    });
    announce();
    loop.exec();
    // The loop returns early when the application is quitting, and at once when it has been
    // told to quit before; the use is still waited for, with the window's events served.
    while (!result) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result;
}

LineTicket LineOwner::enqueue(const LineRequest& request, Work work, Ended ended) {
    const uint64_t id = ++lastId_;
    if (busy()) {
        queue_.push_back({id, request, std::move(work), std::move(ended)});
    } else {
        launch(id, request, nullptr, false, std::move(work), std::move(ended));
        announce();
    }
    return {this, id};
}

void LineTicket::cancel() const {
    if (owner_) owner_->cancel(id_);
}

void LineOwner::cancel(uint64_t id) {
    if (running_ && running_->id == id) {
        running_->link.CancelFlag.request();
        return;
    }
    const auto queued =
        std::find_if(queue_.begin(), queue_.end(), [id](const Queued& q) { return q.id == id; });
    if (queued == queue_.end()) return;
    const Ended ended = std::move(queued->ended);
    queue_.erase(queued);
    if (ended) ended(LineResult{rv::Outcome::Cancelled, 0, {}});
}

void LineOwner::launch(uint64_t id, const LineRequest& request, QPointer<QObject> context,
                       bool hasContext, Work work, Ended ended) {
    running_ = std::make_unique<Operation>(id, settings_, request);
    Operation& op = *running_;
    op.link.trace = trace_;
    op.work = std::move(work);
    op.ended = std::move(ended);
    op.context = std::move(context);
    op.hasContext = hasContext;
    op.mailbox.owner = this;
    op.thread = std::thread([&op] {
        {
            // The priority is the thread's own: the worker's, which collects the replies.
            std::optional<rv::RaisedPriority> raised;
            if (op.request.raisedPriority) raised.emplace();
            LineUse use(op.link, op.mailbox, op.request.progress);
            op.result.outcome = op.work(use);
            op.result.status = op.link.LinkStatus;
            op.result.detail = op.link.LinkDetail;
        }
        op.mailbox.end();
    });
}

// By name, so that the queued call is made entirely inside Qt: the worker hands the window's
// thread no data of its own but through the mailbox.
void LineOwner::poke() { QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection); }

void LineOwner::drain() {
    // One job at a time: a job that shows a box serves events, and a poke meanwhile goes on
    // from the next job, in order. A work that posts faster than its jobs run would keep the
    // window's thread here for good; after a short while the rest waits for the next turn of
    // the event loop, behind the events posted meanwhile.
    const auto yieldAt = std::chrono::steady_clock::now() + kDrainSlice;
    while (running_) {
        bool over = false;
        const std::function<void()> job = running_->mailbox.take(over);
        if (over) {
            finish();
            return;
        }
        if (!job) return;
        job();
        if (std::chrono::steady_clock::now() >= yieldAt) {
            poke();
            return;
        }
    }
}

void LineOwner::finish() {
    std::unique_ptr<Operation> op = std::move(running_);
    // The work has returned and posted its end as its last step; the thread is ending.
    op->thread.join();
    if (op->ended && (!op->hasContext || op->context)) op->ended(op->result);
    if (!busy() && !queue_.empty()) {
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        launch(next.id, next.request, nullptr, false, std::move(next.work), std::move(next.ended));
    }
    announce();
}

void LineOwner::announce() {
    if (busy() == announcedBusy_) return;
    announcedBusy_ = busy();
    emit busyChanged(announcedBusy_);
}

void LineOwner::cancel() {
    if (running_) running_->link.CancelFlag.request();
}

void LineOwner::cancelAll() {
    std::deque<Queued> dropped;
    dropped.swap(queue_);
    for (const Queued& q : dropped) {
        if (q.ended) q.ended(LineResult{rv::Outcome::Cancelled, 0, {}});
    }
    cancel();
}
