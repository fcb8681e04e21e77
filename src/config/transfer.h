#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/image.h"
#include "devmem/blocks.h"
#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// What the window wants to see of a running read or write.
struct TransferObserver {
    std::function<void(int percent)> progress;
    std::function<void(const std::string& version)> versionReceived;
    // A block has been read and decoded into the image (the read only); `block` as it came,
    // for an image kept elsewhere to decode the same.
    std::function<void(int blockIndex, const BlockBuffer& block)> blockDecoded;
    // How many bytes a write sent, once every block has been written (the write only).
    std::function<void(int byteCount)> bytesWritten;
    // The write only: a block as the instrument held it when the write read it, before any
    // byte of it was sent; then, once both of its copies are confirmed, as it holds it now.
    std::function<void(int blockIndex, const BlockBuffer& block)> blockHeld{};
    std::function<void(int blockIndex, const BlockBuffer& block)> blockStored{};
};

// The blocks the configuration write sends, in the order it sends them.
inline constexpr std::array<int, 18> kWrittenBlocks{2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                    11, 12, 13, 14, 15, 16, 17, 18, 20};
// Block 20 starts with the instrument's password (two data bytes), which no write restores.
inline constexpr int kPasswordBlockIndex = 20;
inline constexpr int kPasswordDataBytes = 2;

// The data bytes (identifier and CRC left out, length - 1 of them) of each written block;
// the other entries stay empty.
using RawBlocks = std::array<std::vector<uint8_t>, kBlockCount>;

// What a read learns about the instrument beyond the image: where it answered, what it said
// it is, and the written blocks exactly as they came.
struct InstrumentRecord {
    uint32_t NetNumber = 1;
    uint32_t BaudRate = 9600;
    std::string Family;    // answer to the identification request
    std::string Firmware;  // version text, in the instrument's code page
    RawBlocks Raw;
};

// What tells one kind of instrument from another before a configuration is written to it.
struct InstrumentIdentity {
    std::string Family;
    uint16_t ChannelsFitted = 0;
    uint16_t RelayMask = 0;
    uint32_t LoadedId = 0;  // the instrument's identification value (not compared)
};

inline constexpr int kReadBudget = 58;     // 29 block reads of 2 transactions each
inline constexpr int kWriteBudget = 1070;  // at most: 18 times two reads and two whole copies

// Reads the whole configuration of the instrument at link.NetNumber into the image: opens
// the port, identifies, fetches the version, reads and decodes the 29 blocks, closes the port.
// LoadedId ends 0 on any failure or cancel. A given record receives what the read learnt.
Outcome ReadConfiguration(Link& link, ConfigImage& image, const TransferObserver& observer,
                          InstrumentRecord* record = nullptr);

// Writes the image back: block 2, blocks 3..10, 11..18 and block 20, each read first (both
// copies) and only the image's bytes replaced, sending only the bytes that differ from what
// each copy holds; then the closing "3;", also when no byte differed. Opens and closes the
// port. The gauge counts the reads and the bytes written against a bound that shrinks as the
// reads show what differs. With `base` (a configuration from a file) every data byte but the
// password is first taken from `base`, so the bytes the image does not own go back as they
// were saved. `copies` is for measurements only.
Outcome WriteConfiguration(Link& link, const ConfigImage& image, const TransferObserver& observer,
                           const RawBlocks* base = nullptr,
                           CopyWrite copies = CopyWrite::ChangedBytes);

// Asks the instrument at link.NetNumber what it is: its identification answer and, when that
// is an RV740x, its fitted channels and relay mask. Opens and closes the port.
Outcome ReadIdentity(Link& link, InstrumentIdentity& identity);

}  // namespace rv
