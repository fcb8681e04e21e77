#include "line/line_jobs.h"

#include <filesystem>

#include "configfile/code_page.h"
#include "configfile/value_texts.h"
#include "line/recorded_write.h"
#include "link/requests.h"
#include "link/status.h"
#include "link/timeouts.h"

namespace rv {

namespace {

// Failures of the port itself: every instrument after would fail the same way.
bool portUnusable(int32_t status) {
    return status == status::kPortOpen || status == status::kPortSetup ||
           status == status::kNoSuchPort;
}

bool stopAsked(const JobObserver& observer) {
    return observer.stopRequested && observer.stopRequested();
}

void noteFailure(const Link& link, InstrumentResult& result) {
    if (result.outcome != Outcome::Failed) return;
    result.status = link.LinkStatus;
    result.detail = link.LinkDetail;
}

// Where one instrument's steps report: its share of the whole job.
using Share = std::function<void(int percent)>;
using InstrumentStep = std::function<void(InstrumentResult& result, const Share& share)>;

JobOutcome runJob(Link& link, const std::vector<LineInstrument>& instruments,
                  const JobObserver& observer, const InstrumentStep& step) {
    JobOutcome job;
    const size_t count = instruments.size();
    for (size_t position = 0; position < count; ++position) {
        if (stopAsked(observer)) {
            job.outcome = Outcome::Cancelled;
            return job;
        }
        const LineInstrument& instrument = instruments[position];
        if (observer.starting) observer.starting(position, count, instrument);
        InstrumentResult result;
        result.instrument = instrument;
        AddressInstrument(link, instrument);
        const Share share = [&](int percent) {
            if (observer.progress) {
                observer.progress(static_cast<int>((position * 100 + percent) / count));
            }
        };
        step(result, share);
        job.results.push_back(result);
        if (observer.finished) observer.finished(result);
        if (result.outcome == Outcome::Cancelled) {
            job.outcome = Outcome::Cancelled;
            return job;
        }
        if (result.outcome == Outcome::Failed && portUnusable(result.status)) {
            job.outcome = Outcome::Failed;
            return job;
        }
    }
    if (observer.progress) observer.progress(100);
    return job;
}

// Reads the instrument the link addresses into `image` and `record`, and notes in `result`
// what it turned out to be.
bool readInstrument(Link& link, InstrumentResult& result, const Share& share, ConfigImage& image,
                    InstrumentRecord& record) {
    TransferObserver transfer;
    transfer.progress = share;
    result.outcome = ReadConfiguration(link, image, transfer, &record);
    noteFailure(link, result);
    if (result.outcome != Outcome::Done) return false;
    result.instrument.Model = ModelName(image.ChannelsFitted);
    result.instrument.Id = image.LoadedId;
    result.firmware = InstrumentTextToUtf8(record.Firmware).value_or("?");
    return true;
}

}  // namespace

void AddressInstrument(Link& link, const LineInstrument& instrument) {
    const int speedIndex = SpeedIndexOfBaud(instrument.BaudRate);
    link.applySpeedIndex(speedIndex < 0 ? kDefaultSpeedIndex : speedIndex);
    link.NetNumber = instrument.NetNumber;
}

std::string DifferenceCountText(size_t count) {
    const size_t lastTwo = count % 100;
    const size_t last = count % 10;
    const char* word = "различий";
    if (last == 1 && lastTwo != 11) {
        word = "различие";
    } else if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) {
        word = "различия";
    }
    return std::to_string(count) + " " + word;
}

std::string ResultSummary(const InstrumentResult& result, JobKind kind) {
    if (result.outcome == Outcome::Cancelled) return "Остановлено";
    if (result.outcome == Outcome::Failed) return ResultText(Outcome::Failed, result.status);
    switch (kind) {
        case JobKind::Backup:
            if (!result.copy.ok) return result.copy.error;
            if (!result.copy.newVersion) return UnchangedSinceText(result.copy.savedAt);
            if (result.copy.version == 1) return "первая копия";
            return "новая копия: " + DifferenceCountText(result.copy.changes.size());
        case JobKind::Compare:
            if (!result.compared) return "нет копии";
            return result.differences.empty() ? "как в копии"
                                              : DifferenceCountText(result.differences.size());
        case JobKind::Preview: {
            std::string text = result.differences.empty()
                                   ? std::string("различий нет")
                                   : DifferenceCountText(result.differences.size());
            if (!result.identityWarnings.empty()) text += "; прибор другой модели";
            return text;
        }
        case JobKind::Write:
            if (result.skipped) return "не записан: прибор другой модели";
            return "записано байт: " + std::to_string(result.bytesWritten);
    }
    return {};
}

JobOutcome BackupInstruments(Link& link, const std::vector<LineInstrument>& instruments,
                             const std::string& copiesFolder, const JobObserver& observer) {
    return runJob(link, instruments, observer, [&](InstrumentResult& result, const Share& share) {
        ConfigImage image;
        InstrumentRecord record;
        if (!readInstrument(link, result, share, image, record)) return;
        result.copy = KeepCopy(copiesFolder, image, record);
    });
}

JobOutcome CompareWithCopies(Link& link, const std::vector<LineInstrument>& instruments,
                             const std::string& copiesFolder, const JobObserver& observer) {
    return runJob(link, instruments, observer, [&](InstrumentResult& result, const Share& share) {
        ConfigImage image;
        InstrumentRecord record;
        if (!readInstrument(link, result, share, image, record)) return;
        InstrumentHistory last =
            LoadLastVersion(copiesFolder, result.instrument.Model, result.instrument.Id);
        result.copy.problems = std::move(last.problems);
        if (last.versions.empty()) return;
        const StoredVersion& copy = last.versions.back();
        result.compared = true;
        result.copySavedAt = copy.file.SavedAt;
        result.copy.path = copy.path;
        result.differences = VersionDifferences(copy.file, StoredForm(image, record));
    });
}

JobOutcome PreviewWrite(Link& link, const std::vector<LineInstrument>& instruments,
                        const WriteSource& source, const JobObserver& observer) {
    return runJob(link, instruments, observer, [&](InstrumentResult& result, const Share& share) {
        ConfigImage image;
        InstrumentRecord record;
        if (!readInstrument(link, result, share, image, record)) return;
        result.identityWarnings =
            IdentityDifferences(source.identity, IdentityOf(image, record.Family), source.where);
        result.compared = true;
        result.differences = CompareConfigurations(image, source.image);
    });
}

JobOutcome WriteInstruments(Link& link, const std::vector<LineInstrument>& instruments,
                            const WriteSource& source, const std::string& journalPath,
                            const JobObserver& observer, const ConfirmIdentity& confirm) {
    return runJob(link, instruments, observer, [&](InstrumentResult& result, const Share& share) {
        InstrumentIdentity identity;
        result.outcome = ReadIdentity(link, identity);
        noteFailure(link, result);
        if (result.outcome != Outcome::Done) return;
        if (identity.Family == request::kServedFamily) {
            result.instrument.Model = ModelName(identity.ChannelsFitted);
            result.instrument.Id = identity.LoadedId;
        }
        result.identityWarnings = IdentityDifferences(source.identity, identity, source.where);
        if (!result.identityWarnings.empty() &&
            !(confirm && confirm(result.instrument, result.identityWarnings))) {
            result.skipped = true;
            return;
        }
        if (stopAsked(observer)) {
            result.outcome = Outcome::Cancelled;
            return;
        }
        TransferObserver transfer;
        transfer.progress = share;
        const WriteTarget target{link.Device, result.instrument.NetNumber, result.instrument.Model,
                                 result.instrument.Id};
        const RecordedWrite written =
            WriteAndRecord(link, source.image, source.base, target, journalPath, transfer);
        result.outcome = written.outcome;
        result.status = written.status;
        result.detail = written.detail;
        result.bytesWritten = written.bytesWritten;
        result.changes = written.entry.Changes;
        if (!written.journaled) result.journalError = written.journalError;
    });
}

}  // namespace rv
