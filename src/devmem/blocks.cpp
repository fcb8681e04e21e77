#include "devmem/blocks.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

#include "link/crc.h"
#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"

namespace rv {

namespace {

size_t storedSize(const BlockInfo& block) { return size_t{block.length} + 2; }

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

// Writes one copy byte by byte; true when every echo matched.
bool writeCopy(Link& link, unsigned address, size_t count, const BlockBuffer& buffer) {
    for (size_t i = 0; i < count; ++i) {
        std::string message = request::WriteByte(address + static_cast<unsigned>(i), buffer[i]);
        const bool sent = Transact(link, message, link.ReplyTimeout, request::kWriteByteFields);
        if (link.CancelFlag.requested() || !sent) return false;
        if (!ParseReply(link, message, request::kWriteByteFields)) return false;
        link.LinkStatus = status::kMemoryData;
        long echo = 0;
        if (!ParseLinkInteger(link.ReplyFields[0], echo) || echo != buffer[i]) return false;
    }
    return true;
}

// One stored copy as the line gives it: nullopt when the line failed to tell; otherwise
// whether it is a whole block, with its bytes.
struct StoredCopy {
    bool whole = false;
    BlockBuffer bytes{};
};

std::optional<StoredCopy> readCopy(Link& link, const BlockInfo& block, unsigned address) {
    std::string message = request::ReadMemory(address);
    if (!Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields) ||
        link.CancelFlag.requested()) {
        return std::nullopt;
    }
    if (!ParseReply(link, message, request::kReadMemoryFields)) return std::nullopt;
    StoredCopy copy;
    copy.whole = takeBytes(link, storedSize(block), copy.bytes) && copyIsSound(block, copy.bytes);
    return copy;
}

bool sameContents(const BlockInfo& block, const BlockBuffer& a, const BlockBuffer& b) {
    const auto n = static_cast<std::ptrdiff_t>(storedSize(block));
    return std::equal(a.begin(), a.begin() + n, b.begin());
}

// Whether the backup copy must be written before the primary. A read shows the primary when
// it is whole, else the backup; the copy written first is the one a read does not show, so
// that what a read shows is at every moment either the contents from before the write or
// the new ones. With both copies whole and equal either order keeps that; the primary then
// goes first. nullopt when the line failed before anything was written.
std::optional<bool> backupGoesFirst(Link& link, const BlockInfo& block) {
    const std::optional<StoredCopy> backup = readCopy(link, block, block.backup);
    if (!backup) return std::nullopt;
    // A broken backup: a read shows the primary (or nothing, when both are broken).
    if (!backup->whole) return true;
    const std::optional<StoredCopy> primary = readCopy(link, block, block.primary);
    if (!primary) return std::nullopt;
    // A broken primary: a read shows the backup, which must stay until the primary is whole.
    if (!primary->whole) return false;
    // A whole backup that is older than the primary is brought up to date first.
    return !sameContents(block, primary->bytes, backup->bytes);
}

}  // namespace

uint16_t BlockCrc(const uint8_t* image, size_t length) {
    return Crc16(image, length, kBlockCrcStart);
}

int ReadBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer) {
    const BlockInfo& block = BlockTable[static_cast<size_t>(index)];
    const size_t n = storedSize(block);
    const auto finish = [&] {
        progressCount += 2;
        return static_cast<int>(link.LinkStatus);
    };

    std::string message = request::ReadMemory(block.primary);
    bool sent = Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields);
    if (link.CancelFlag.requested()) return finish();
    if (sent && ParseReply(link, message, request::kReadMemoryFields) &&
        takeBytes(link, n, buffer) && copyIsSound(block, buffer)) {
        link.LinkStatus = status::kOk;
        return finish();
    }

    message = request::ReadMemory(block.backup);
    sent = Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields);
    if (link.CancelFlag.requested() || !sent) return finish();
    if (!ParseReply(link, message, request::kReadMemoryFields)) return finish();
    link.LinkStatus = status::kMemoryData;
    if (takeBytes(link, n, buffer) && copyIsSound(block, buffer)) link.LinkStatus = status::kOk;
    return finish();
}

int WriteBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer) {
    const BlockInfo& block = BlockTable[static_cast<size_t>(index)];
    const size_t n = storedSize(block);
    buffer[0] = static_cast<uint8_t>(block.id);
    const uint16_t crc = BlockCrc(buffer.data(), block.length);
    buffer[block.length] = static_cast<uint8_t>(crc);
    buffer[block.length + 1] = static_cast<uint8_t>(crc >> 8);

    const std::optional<bool> backupFirst = backupGoesFirst(link, block);
    if (backupFirst.has_value()) {
        const unsigned first = *backupFirst ? block.backup : block.primary;
        const unsigned second = *backupFirst ? block.primary : block.backup;
        if (writeCopy(link, first, n, buffer) && writeCopy(link, second, n, buffer)) {
            link.LinkStatus = status::kOk;
        }
    }
    progressCount += static_cast<int>(2 * n);
    return static_cast<int>(link.LinkStatus);
}

}  // namespace rv
