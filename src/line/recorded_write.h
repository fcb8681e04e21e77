#pragma once

#include <array>
#include <optional>
#include <string>

#include "config/image.h"
#include "config/transfer.h"
#include "line/journal.h"
#include "link/link.h"

namespace rv {

// Watches a configuration write block by block and gives the instrument's image before it
// and after it, for the journal.
class WriteRecorder {
  public:
    // `observer` with the recorder's hooks added; what it already does stays.
    TransferObserver watch(TransferObserver observer);

    // The written blocks as the instrument held them before (fields of blocks the write never
    // read keep their start-up values, in both images alike).
    ConfigImage before() const;
    // `before` with every block whose both copies were confirmed as it holds them now.
    ConfigImage after() const;

  private:
    std::array<std::optional<BlockBuffer>, kBlockCount> held_;
    std::array<std::optional<BlockBuffer>, kBlockCount> stored_;
};

// What one recorded write did.
struct RecordedWrite {
    Outcome outcome = Outcome::Failed;
    int32_t status = 0;
    std::string detail;  // why the port did not open, when that was the failure
    int bytesWritten = 0;
    JournalEntry entry;
    bool journaled = false;
    std::string journalError;  // why the entry could not be appended
};

// Writes the image to the instrument at link.NetNumber (WriteConfiguration with `base`),
// then appends the write's entry to the journal at `journalPath`, whatever its outcome.
RecordedWrite WriteAndRecord(Link& link, const ConfigImage& image, const RawBlocks* base,
                             const WriteTarget& target, const std::string& journalPath,
                             const TransferObserver& observer = {});

// The instrument a window's write goes to: the addressed number on the port, and the model and
// identification value of the configuration read from it (none when none was read).
WriteTarget TargetOf(const Link& link, const ConfigImage& image);

// The entry of a password or network write from `image`, the instrument having answered at
// `netBefore` and `speedIndexBefore`: the number and speed old → new, and the password as
// changed (the old one cannot be read back). After a write that did not end, nothing changed.
JournalEntry DialogWriteEntry(WriteKind kind, const WriteTarget& target, const ConfigImage& image,
                              uint32_t netBefore, int speedIndexBefore, Outcome outcome,
                              int32_t status);

}  // namespace rv
