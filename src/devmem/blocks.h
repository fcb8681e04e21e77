#pragma once

#include <functional>
#include <utility>

#include "devmem/block_table.h"
#include "link/link.h"

namespace rv {

// Block CRC over the identifier and data bytes (start 0xA55A).
uint16_t BlockCrc(const uint8_t* image, size_t length);

// Reads block `index` into `buffer` from its primary copy, or from the backup copy when the
// primary fails any check. Returns the outcome code, also left in LinkStatus. Adds 2 to
// progressCount whatever happens.
int ReadBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer);

// Which bytes of a copy a block write sends.
enum class CopyWrite {
    ChangedBytes,  // those whose stored value differs; the whole copy when it could not be read
    // All of them, after one more read of the primary: the write as it went before it
    // compared, kept to measure against.
    EveryByte,
};

// The work of a write in transactions (block reads and byte writes), across the blocks of one
// operation: what has been done and at most how much is still to come. Each block to be
// written is planned first; its reads then show how many bytes really differ, so the bound
// only shrinks and the share done only grows.
class WriteProgress {
  public:
    // Called after every transaction with the share done, 0 to 100.
    explicit WriteProgress(std::function<void(int percent)> report = {})
        : report_(std::move(report)) {}

    // Adds the most a write of block `index` can take: two reads and every byte of both copies.
    void plan(int index);
    int percent() const;
    int done() const { return done_; }
    int bytesWritten() const { return bytesWritten_; }

    // For the block operations: `count` transactions made, `written` of them byte writes.
    void advance(int count, int written = 0);
    // For the block operations: `count` of the planned transactions will not be made.
    void drop(int count);

  private:
    void tell() const;

    std::function<void(int)> report_;
    int done_ = 0;
    int left_ = 0;
    int bytesWritten_ = 0;
};

// Rewrites block `index`. Reads both copies once; hands `edit` the block as a read shows it
// (the primary copy when whole, else the backup copy), in `buffer`, to change the bytes it
// owns; fills in the identifier and the CRC; then writes in each copy the bytes that differ
// from what that copy holds, in ascending address order with every echo checked. A copy whose
// reply was no list of bytes, or that did not answer, is written whole. The copy a read does
// not show goes first, so that a read shows at every moment the contents from before the
// write or the new ones: the backup first unless both copies are whole and equal, the primary
// first when it is broken. Nothing is sent when no byte differs. When neither copy is whole
// nothing is written and the code is the backup read's, as ReadBlock gives it. Returns the
// outcome code, also left in LinkStatus.
int UpdateBlock(Link& link, int index, WriteProgress& progress, BlockBuffer& buffer,
                const std::function<void(BlockBuffer&)>& edit,
                CopyWrite copies = CopyWrite::ChangedBytes);

// Writes block `index` with the data bytes at offsets 1..length-1 of `buffer` (identifier and
// CRC are filled in here): UpdateBlock with those bytes as the edit. Adds the transactions
// made to progressCount.
int WriteBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer);

}  // namespace rv
