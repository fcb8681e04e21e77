#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"
#include "configfile/difference.h"
#include "line/history.h"
#include "line/line_file.h"
#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// Jobs on several instruments of a line, one instrument after the other, each through the
// single-instrument operations (ReadConfiguration, ReadIdentity, WriteConfiguration), so each
// keeps their guarantees: a write cut short leaves every block old or new.

enum class JobKind { Backup, Compare, Preview, Write };

// How a job went for one instrument.
struct InstrumentResult {
    LineInstrument instrument;  // as addressed; model and ID as the instrument gave them
    Outcome outcome = Outcome::Done;
    int32_t status = 0;    // after Failed: the status code
    std::string detail;    // after Failed: why the port did not open, when that was it
    std::string firmware;  // the version it gave (UTF-8), when it was read

    // Backup: the copy kept (or why not).
    KeptCopy copy;
    // Compare and Preview: whether there was something to compare with, and the differences:
    // Compare with the last copy (`left` the copy, `right` the instrument now, and the copy's
    // time in copySavedAt); Preview with what the write would leave (`left` the instrument
    // now, `right` after the write).
    bool compared = false;
    std::string copySavedAt;
    std::vector<FieldDifference> differences;
    // Preview and Write: how it differs from the instrument the configuration came from.
    std::vector<std::string> identityWarnings;
    // Write: left out (its identity differs and nobody agreed), bytes sent, what changed,
    // and the journal.
    bool skipped = false;
    int bytesWritten = 0;
    std::vector<FieldDifference> changes;
    std::string journalError;
};

// The result in a few words, for a progress window's list or a table's cell.
std::string ResultSummary(const InstrumentResult& result, JobKind kind);

// "1 различие", "3 различия", "5 различий".
std::string DifferenceCountText(size_t count);

struct JobObserver {
    // Before each instrument: its place in the job (from 0) and the job's length.
    std::function<void(size_t position, size_t count, const LineInstrument& instrument)> starting;
    // The job's share done, 0..100, after each step of an instrument.
    std::function<void(int percent)> progress;
    // After each instrument.
    std::function<void(const InstrumentResult& result)> finished;
    // Asked before each instrument and between its operations: true ends the job there.
    // To stop inside an operation, the caller also raises the link's cancel request.
    std::function<bool()> stopRequested;
};

// How the whole job ended: Done when every instrument had its turn (each result says how it
// went), Cancelled when it was stopped, Failed when the port itself could not be used (the
// status and detail of the first result say why).
struct JobOutcome {
    Outcome outcome = Outcome::Done;
    std::vector<InstrumentResult> results;  // in the job's order
};

// Reads each instrument and keeps its copy in `copiesFolder` (KeepCopy).
JobOutcome BackupInstruments(Link& link, const std::vector<LineInstrument>& instruments,
                             const std::string& copiesFolder, const JobObserver& observer);

// Reads each instrument and compares it with its last copy in `copiesFolder`.
JobOutcome CompareWithCopies(Link& link, const std::vector<LineInstrument>& instruments,
                             const std::string& copiesFolder, const JobObserver& observer);

// A configuration for several instruments: its image, the raw blocks it came with (nullptr
// for none) and what it says of the instrument it came from.
struct WriteSource {
    ConfigImage image;
    const RawBlocks* base = nullptr;
    InstrumentIdentity identity;
    std::string where = "в файле";  // the source, in IdentityDifferences' words
};

// Reads each instrument and lists what a write of `source` would change in it, and how it
// differs from the instrument the configuration came from. Writes nothing.
JobOutcome PreviewWrite(Link& link, const std::vector<LineInstrument>& instruments,
                        const WriteSource& source, const JobObserver& observer);

// Asked for an instrument that is not of the kind the configuration came from: true writes
// it all the same.
using ConfirmIdentity =
    std::function<bool(const LineInstrument& instrument, const std::vector<std::string>& warnings)>;

// Writes `source` to each instrument: each keeps its own network number, speed and password,
// and only the bytes that differ are sent. An instrument whose identity differs from the
// source's is written only when `confirm` agrees (no `confirm`: never). Every write attempt
// appends its entry to the journal at `journalPath`.
JobOutcome WriteInstruments(Link& link, const std::vector<LineInstrument>& instruments,
                            const WriteSource& source, const std::string& journalPath,
                            const JobObserver& observer, const ConfirmIdentity& confirm = {});

// Points the link at one instrument of the line: its network number and speed.
void AddressInstrument(Link& link, const LineInstrument& instrument);

}  // namespace rv
