#include "devmem/blocks.h"

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
        const bool sent =
            Transact(link, message, link.ReplyTimeout, request::kWriteByteFields);
        if (link.CancelFlag || !sent) return false;
        if (!ParseReply(link, message, request::kWriteByteFields)) return false;
        link.LinkStatus = status::kMemoryData;
        long echo = 0;
        if (!ParseLinkInteger(link.ReplyFields[0], echo) || echo != buffer[i]) return false;
    }
    return true;
}

// Whether the stored backup copy is a whole block; nullopt when the line failed to tell.
std::optional<bool> backupIsWhole(Link& link, const BlockInfo& block) {
    std::string message = request::ReadMemory(block.backup);
    if (!Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields) ||
        link.CancelFlag) {
        return std::nullopt;
    }
    if (!ParseReply(link, message, request::kReadMemoryFields)) return std::nullopt;
    BlockBuffer copy{};
    return takeBytes(link, block.length + size_t{2}, copy) && copyIsSound(block, copy);
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
    if (link.CancelFlag) return finish();
    if (sent && ParseReply(link, message, request::kReadMemoryFields) &&
        takeBytes(link, n, buffer) && copyIsSound(block, buffer)) {
        link.LinkStatus = status::kOk;
        return finish();
    }

    message = request::ReadMemory(block.backup);
    sent = Transact(link, message, link.ReplyTimeout, request::kReadMemoryFields);
    if (link.CancelFlag || !sent) return finish();
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

    // One copy must stay whole at every moment, so the copy written first is the backup only
    // when an earlier interrupted write left it broken (the primary is then the whole one);
    // otherwise the primary goes first and the backup follows once the primary is whole.
    const std::optional<bool> backupWhole = backupIsWhole(link, block);
    if (backupWhole.has_value()) {
        const unsigned first = *backupWhole ? block.primary : block.backup;
        const unsigned second = *backupWhole ? block.backup : block.primary;
        if (writeCopy(link, first, n, buffer) && writeCopy(link, second, n, buffer)) {
            link.LinkStatus = status::kOk;
        }
    }
    progressCount += static_cast<int>(2 * n);
    return static_cast<int>(link.LinkStatus);
}

}  // namespace rv
