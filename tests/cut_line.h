#pragma once

// Cutting an operation short on a line to rv740x-sim, at a chosen number of byte writes:
// by a cancel request, by a reply the instrument never sends, or by killing the instrument
// (a power cut) and starting it again from its memory file.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "link/link.h"
#include "link/trace.h"
#include "sim_harness.h"

namespace rv::test {

// Follows the simulator's log as it grows: byte writes heard and replies sent.
class LogWatcher {
  public:
    explicit LogWatcher(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    LogWatcher(const LogWatcher&) = delete;
    LogWatcher& operator=(const LogWatcher&) = delete;
    ~LogWatcher() {
        if (fd_ >= 0) ::close(fd_);
    }

    int writesHeard() {
        update();
        return writesHeard_;
    }
    int repliesSent() {
        update();
        return repliesSent_;
    }
    int requestsHeard() {
        update();
        return requestsHeard_;
    }

  private:
    void update() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = fd_ >= 0 ? ::read(fd_, buffer, sizeof buffer) : 0;
            if (n <= 0) break;
            pending_.append(buffer, static_cast<size_t>(n));
        }
        size_t end;
        while ((end = pending_.find('\n')) != std::string::npos) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (line.find("\"dir\":\"rx\"") != std::string::npos) {
                ++requestsHeard_;
                if (line.find("\"text\":\"202;") != std::string::npos) ++writesHeard_;
            }
            if (line.find("\"dir\":\"tx\"") != std::string::npos) ++repliesSent_;
        }
    }

    int fd_;
    std::string pending_;
    int writesHeard_ = 0;
    int repliesSent_ = 0;
    int requestsHeard_ = 0;
};

// One simulated instrument whose memory lives in a directory that outlasts the process, so
// it can be killed and started again, with other fault switches if wanted.
class RestartableInstrument {
  public:
    RestartableInstrument(const std::string& stateDir, int net, std::string setup = {})
        : stateDir_(stateDir), net_(net), setup_(std::move(setup)) {
        start();
    }

    // (Re)starts the instrument with its setup and these extra switches (",key=value...").
    void start(const std::string& extraSwitches = {}) {
        sim_.reset();
        log_.reset();
        SimOptions options;
        options.instruments = {std::to_string(net_) + setup_ + extraSwitches};
        options.stateDir = stateDir_;
        sim_ = std::make_unique<SimProcess>(options);
        log_ = std::make_unique<LogWatcher>(sim_->logPath());
    }
    bool started() const { return sim_->started(); }
    const std::string& error() const { return sim_->error(); }
    SimProcess& sim() { return *sim_; }
    LogWatcher& log() { return *log_; }
    std::string stateFile() const { return sim_->stateFile(net_); }

    // Points the link at the instrument, with a reply time-out short enough for many cuts.
    void attach(Link& link) const {
        link.ClosePort();
        link.Device = sim_->linkPath();
        link.NetNumber = static_cast<uint32_t>(net_);
        link.ReplyTimeout = std::chrono::milliseconds(100);
    }

  private:
    std::string stateDir_;
    int net_;
    std::string setup_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<LogWatcher> log_;
};

enum class Cut { None, Cancel, DropReply, Kill };

inline const char* CutName(Cut cut) {
    switch (cut) {
        case Cut::None:
            return "none";
        case Cut::Cancel:
            return "cancel";
        case Cut::DropReply:
            return "dropped reply";
        case Cut::Kill:
            return "kill";
    }
    return "?";
}

struct CutResult {
    int writesHeard = 0;  // byte writes the instrument heard during the operation
    bool fired = false;   // whether the cut happened before the operation ended
};

// Runs `operation` on `link` (already attached and, except for DropReply, open) and cuts it
// once `limit` byte writes have been stored: the cancel request or the kill comes after the
// limit-th write was stored and answered, while the dropped reply is the one of write
// limit + 1, which is stored but never answered. After a kill the instrument is started
// again and the link attached to it; the link's port is left closed.
inline CutResult RunWithCut(Link& link, RestartableInstrument& instrument, Cut cut, int limit,
                            const std::function<void()>& operation) {
    if (cut == Cut::DropReply) {
        link.ClosePort();
        instrument.start(",drop-reply=" + std::to_string(limit + 1));
        instrument.attach(link);
    }
    const int before = instrument.log().writesHeard();
    const int requestsBefore = instrument.log().requestsHeard();
    const int repliesBefore = instrument.log().repliesSent();
    bool fired = false;
    // The operation's own trace of each frame is where the cut is decided: it runs on the
    // operation's thread after every request sent and every reply received.
    struct CutWatch : TraceSink {
        std::function<void()> check;
        TraceSink* next = nullptr;
        const bool* fired = nullptr;
        int sent = 0;            // requests the operation sent
        int failedAfterCut = 0;  // exchanges that failed once the cut had come
        void record(const TraceRecord& record) override {
            if (next != nullptr) next->record(record);
            if (record.direction == TraceRecord::Direction::Sent) ++sent;
            if (*fired && record.outcome != "ok" && record.outcome != "sent") ++failedAfterCut;
            if (check) check();
        }
    } watch;
    watch.fired = &fired;
    watch.next = link.trace;
    if (cut == Cut::Cancel || cut == Cut::Kill) {
        watch.check = [&] {
            if (fired || instrument.log().writesHeard() - before < limit) return;
            fired = true;
            if (cut == Cut::Cancel) {
                link.CancelFlag.request();
                return;
            }
            // Killed once every request heard, the limit-th write among them, has been
            // answered: the instrument stores a byte before it answers the write.
            const int heard = instrument.log().requestsHeard() - requestsBefore;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (instrument.log().repliesSent() - repliesBefore < heard &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            instrument.sim().kill();
        };
    }
    link.trace = &watch;
    operation();
    link.trace = watch.next;
    link.CancelFlag.clear();
    if (cut == Cut::Cancel) {
        // A cancelled request may still be answered: the answer must not reach the next
        // operation, which a person would start seconds later, not microseconds.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (instrument.log().repliesSent() - repliesBefore < watch.sent &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    CutResult result;
    result.writesHeard = instrument.log().writesHeard() - before;
    // A power cut that no exchange of the operation felt (it came after the last one, or the
    // last answer was already on its way) cuts nothing: the write was done.
    if (cut == Cut::DropReply) {
        result.fired = result.writesHeard > limit;
    } else if (cut == Cut::Kill) {
        result.fired = fired && watch.failedAfterCut > 0;
    } else {
        result.fired = fired;
    }
    link.ClosePort();
    if (cut == Cut::Kill || cut == Cut::DropReply) {
        instrument.sim().kill();
        instrument.start();
        instrument.attach(link);
    }
    return result;
}

}  // namespace rv::test
