#include "devmem/blocks.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "link/crc.h"
#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"

namespace rv {

namespace {

size_t storedSize(const BlockInfo& block) { return size_t{block.length} + 2; }

const BlockInfo& blockAt(int index) { return BlockTable[static_cast<size_t>(index)]; }

// Takes the first bytes of the last reply into the buffer; false at a field that is no byte.
bool takeBytes(const Link& link, size_t count, BlockBuffer& buffer) {
    for (size_t i = 0; i < count; ++i) {
        long value = 0;
        if (!ParseLinkInteger(link.ReplyFields[i], value) || value < 0 || value > 255) return false;
        buffer[i] = static_cast<uint8_t>(value);
    }
    return true;
}

bool copyIsSound(const BlockInfo& block, const BlockBuffer& buffer) {
    const uint16_t stored =
        static_cast<uint16_t>(buffer[block.length] | (buffer[block.length + 1] << 8));
    return buffer[0] == block.id && BlockCrc(buffer.data(), block.length) == stored;
}

void seal(const BlockInfo& block, BlockBuffer& buffer) {
    buffer[0] = static_cast<uint8_t>(block.id);
    const uint16_t crc = BlockCrc(buffer.data(), block.length);
    buffer[block.length] = static_cast<uint8_t>(crc);
    buffer[block.length + 1] = static_cast<uint8_t>(crc >> 8);
}

// One stored copy as one read found it. `code` is what a read of this copy alone ends with:
// the transaction's code when it did not answer, 7 when the reply did not parse, 30 when the
// reply was no list of bytes or the bytes are no whole block, 0 for a whole block.
struct StoredCopy {
    bool known = false;  // `bytes` holds what the copy stores
    bool whole = false;  // and they carry the identifier and a matching CRC
    int code = status::kOk;
    BlockBuffer bytes{};
};

StoredCopy readCopy(Link& link, const BlockInfo& block, unsigned address) {
    StoredCopy copy;
    std::string message = request::ReadMemory(address);
    if (Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields) &&
        !link.CancelFlag.requested() && ParseReply(link, message, request::kReadMemoryFields)) {
        copy.known = takeBytes(link, storedSize(block), copy.bytes);
        copy.whole = copy.known && copyIsSound(block, copy.bytes);
        link.LinkStatus = copy.whole ? status::kOk : status::kMemoryData;
    }
    copy.code = link.LinkStatus;
    return copy;
}

// Writes the given offsets of one copy, each echo checked; stops at the first failure.
bool writeBytes(Link& link, unsigned address, const std::vector<size_t>& offsets,
                const BlockBuffer& buffer, WriteProgress& progress) {
    for (size_t i : offsets) {
        std::string message = request::WriteByte(address + static_cast<unsigned>(i), buffer[i]);
        const bool sent = Transact(link, message, link.ReplyTimeout, request::kWriteByteFields);
        progress.advance(1, 1);
        if (link.CancelFlag.requested() || !sent) return false;
        if (!ParseReply(link, message, request::kWriteByteFields)) return false;
        link.LinkStatus = status::kMemoryData;
        long echo = 0;
        if (!ParseLinkInteger(link.ReplyFields[0], echo) || echo != buffer[i]) return false;
    }
    return true;
}

// The offsets of a copy to write so that it holds `target`.
std::vector<size_t> bytesToWrite(const BlockInfo& block, const StoredCopy& copy,
                                 const BlockBuffer& target, CopyWrite copies) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < storedSize(block); ++i) {
        if (copies == CopyWrite::EveryByte || !copy.known || copy.bytes[i] != target[i])
            offsets.push_back(i);
    }
    return offsets;
}

bool sameContents(const BlockInfo& block, const BlockBuffer& a, const BlockBuffer& b) {
    const auto n = static_cast<std::ptrdiff_t>(storedSize(block));
    return std::equal(a.begin(), a.begin() + n, b.begin());
}

// Whether the backup copy must be written before the primary. A read shows the primary when
// it is whole, else the backup; the copy written first is the one a read does not show, so
// that what a read shows is at every moment either the contents from before the write or
// the new ones. With both copies whole and equal either order keeps that; the primary then
// goes first.
bool backupGoesFirst(const BlockInfo& block, const StoredCopy& primary, const StoredCopy& backup) {
    // A broken primary: a read shows the backup, which must stay until the primary is whole.
    if (!primary.whole) return false;
    // A broken backup: a read shows the primary. A whole backup that is older than the
    // primary is brought up to date first.
    return !backup.whole || !sameContents(block, primary.bytes, backup.bytes);
}

int planned(const BlockInfo& block) { return 2 + 2 * static_cast<int>(storedSize(block)); }

}  // namespace

uint16_t BlockCrc(const uint8_t* image, size_t length) {
    return Crc16(image, length, kBlockCrcStart);
}

void WriteProgress::plan(int index) {
    left_ += planned(blockAt(index));
    tell();
}

int WriteProgress::percent() const {
    return done_ + left_ == 0 ? 100 : done_ * 100 / (done_ + left_);
}

void WriteProgress::advance(int count, int written) {
    done_ += count;
    left_ = std::max(0, left_ - count);
    bytesWritten_ += written;
    tell();
}

void WriteProgress::drop(int count) {
    left_ = std::max(0, left_ - count);
    tell();
}

void WriteProgress::tell() const {
    if (report_) report_(percent());
}

int ReadBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer) {
    const BlockInfo& block = blockAt(index);
    const auto finish = [&] {
        progressCount += 2;
        return static_cast<int>(link.LinkStatus);
    };
    StoredCopy copy = readCopy(link, block, block.primary);
    if (link.CancelFlag.requested()) return finish();
    if (!copy.whole) {
        // Nothing of the primary's failure is reported; the backup's outcome is the read's.
        copy = readCopy(link, block, block.backup);
        if (link.CancelFlag.requested()) return finish();
    }
    if (copy.known) std::copy_n(copy.bytes.begin(), storedSize(block), buffer.begin());
    return finish();
}

int UpdateBlock(Link& link, int index, WriteProgress& progress, BlockBuffer& buffer,
                const std::function<void(BlockBuffer&)>& edit, CopyWrite copies) {
    const BlockInfo& block = blockAt(index);
    const int copyBytes = static_cast<int>(storedSize(block));
    int unused = planned(block);
    const auto finish = [&] {
        progress.drop(unused);
        return static_cast<int>(link.LinkStatus);
    };
    const auto count = [&](int transactions) {
        unused -= transactions;
        progress.advance(transactions);
    };

    const StoredCopy primary = readCopy(link, block, block.primary);
    count(1);
    if (link.CancelFlag.requested()) return finish();
    const StoredCopy backup = readCopy(link, block, block.backup);
    count(1);
    if (link.CancelFlag.requested()) return finish();
    if (copies == CopyWrite::EveryByte) {
        // Writes before they compared read the primary once more before they chose the order.
        readCopy(link, block, block.primary);
        progress.advance(1);
        if (link.CancelFlag.requested()) return finish();
    }
    const StoredCopy& shown = primary.whole ? primary : backup;
    link.LinkStatus = shown.code;
    if (!shown.whole) return finish();

    std::copy_n(shown.bytes.begin(), storedSize(block), buffer.begin());
    edit(buffer);
    seal(block, buffer);

    const bool backupFirst = backupGoesFirst(block, primary, backup);
    const StoredCopy& first = backupFirst ? backup : primary;
    const StoredCopy& second = backupFirst ? primary : backup;
    const std::vector<size_t> firstBytes = bytesToWrite(block, first, buffer, copies);
    const std::vector<size_t> secondBytes = bytesToWrite(block, second, buffer, copies);
    // What the reads showed needs no writing.
    const auto toWrite = static_cast<int>(firstBytes.size() + secondBytes.size());
    progress.drop(2 * copyBytes - toWrite);
    unused = toWrite;

    const int before = progress.done();
    const unsigned firstAddress = backupFirst ? block.backup : block.primary;
    const unsigned secondAddress = backupFirst ? block.primary : block.backup;
    if (writeBytes(link, firstAddress, firstBytes, buffer, progress) &&
        writeBytes(link, secondAddress, secondBytes, buffer, progress)) {
        link.LinkStatus = status::kOk;
    }
    unused -= progress.done() - before;
    return finish();
}

int WriteBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer) {
    const BlockInfo& block = blockAt(index);
    const BlockBuffer contents = buffer;
    WriteProgress progress;
    progress.plan(index);
    const int code = UpdateBlock(link, index, progress, buffer, [&](BlockBuffer& shown) {
        std::copy_n(contents.begin() + 1, block.length - 1, shown.begin() + 1);
    });
    // The buffer ends as the block was to be stored, whatever the outcome.
    buffer = contents;
    seal(block, buffer);
    progressCount += progress.done();
    return code;
}

}  // namespace rv
