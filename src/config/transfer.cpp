#include "config/transfer.h"

#include <array>

#include "devmem/blocks.h"
#include "link/requests.h"
#include "link/session.h"

namespace rv {

namespace {

constexpr std::array<int, 29> kReadOrder{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                         15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28, 29};
constexpr const std::array<int, 18>& kWriteOrder = kWrittenBlocks;

// At most: every written block is read (2 transactions) and written whole in both copies.
constexpr int writeBudget() {
    int total = 0;
    for (int index : kWriteOrder)
        total += 2 + 2 * (BlockTable[static_cast<size_t>(index)].length + 2);
    return total;
}
static_assert(kReadOrder.size() * 2 == kReadBudget);
static_assert(writeBudget() == kWriteBudget);

void report(const TransferObserver& observer, int progressCount, int total) {
    if (observer.progress) observer.progress(progressCount * 100 / total);
}

std::vector<uint8_t> dataBytes(int index, const BlockBuffer& buffer) {
    const auto first = buffer.begin() + 1;
    return {first, first + (BlockTable[static_cast<size_t>(index)].length - 1)};
}

bool isWritten(int index) {
    for (int written : kWrittenBlocks)
        if (written == index) return true;
    return false;
}

// Data bytes of a saved block over a block just read; the password stays the instrument's.
void applyBase(int index, const std::vector<uint8_t>& data, BlockBuffer& buffer) {
    const size_t first = index == kPasswordBlockIndex ? kPasswordDataBytes : 0;
    const size_t length = BlockTable[static_cast<size_t>(index)].length - 1u;
    if (data.size() != length) return;
    for (size_t k = first; k < length; ++k) buffer[k + 1] = data[k];
}

Outcome readBlocks(Link& link, ConfigImage& image, const TransferObserver& observer,
                   InstrumentRecord* record) {
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();
    if (record) {
        record->NetNumber = link.NetNumber;
        record->BaudRate = link.BaudRate;
        record->Family = link.ReplyFields[0];
    }
    Step step = Exchange(link, request::Version(), request::kVersionFields);
    if (step != Step::Ok) return OutcomeOf(step);
    if (record) record->Firmware = link.ReplyFields[0];
    if (observer.versionReceived) observer.versionReceived(link.ReplyFields[0]);

    BlockBuffer buffer{};
    int progressCount = 0;
    for (int index : kReadOrder) {
        step = BlockStep(link, ReadBlock(link, index, progressCount, buffer));
        if (step != Step::Ok) return OutcomeOf(step);
        report(observer, progressCount, kReadBudget);
        image.DecodeBlock(index, buffer);
        if (record && isWritten(index)) {
            record->Raw[static_cast<size_t>(index)] = dataBytes(index, buffer);
        }
        if (observer.blockDecoded) observer.blockDecoded(index, buffer);
    }
    return Outcome::Done;
}

}  // namespace

Outcome ReadConfiguration(Link& link, ConfigImage& image, const TransferObserver& observer,
                          InstrumentRecord* record) {
    const Outcome outcome = readBlocks(link, image, observer, record);
    if (outcome != Outcome::Done) image.LoadedId = 0;
    return outcome;
}

Outcome WriteConfiguration(Link& link, const ConfigImage& image, const TransferObserver& observer,
                           const RawBlocks* base, CopyWrite copies) {
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();

    int shown = -1;
    WriteProgress progress([&](int percent) {
        if (percent == shown || !observer.progress) return;
        shown = percent;
        observer.progress(percent);
    });
    for (int index : kWriteOrder) progress.plan(index);
    BlockBuffer buffer{};
    for (int index : kWriteOrder) {
        const auto edit = [&](BlockBuffer& block) {
            if (observer.blockHeld) observer.blockHeld(index, block);
            if (base) applyBase(index, (*base)[static_cast<size_t>(index)], block);
            image.EncodeBlock(index, block);
        };
        const Step step = BlockStep(link, UpdateBlock(link, index, progress, buffer, edit, copies));
        if (step != Step::Ok) return OutcomeOf(step);
        if (observer.blockStored) observer.blockStored(index, buffer);
    }
    if (observer.bytesWritten) observer.bytesWritten(progress.bytesWritten());
    return OutcomeOf(EndWriteSequence(link));
}

Outcome ReadIdentity(Link& link, InstrumentIdentity& identity) {
    identity = InstrumentIdentity{};
    // Any family's answer is recorded, so the session only opens the port.
    const Session session(link, Session::Check::PortOnly);
    if (!session.ready()) return session.outcome();
    Step step = Exchange(link, request::Identify(), request::kIdentifyFields);
    if (step != Step::Ok) return OutcomeOf(step);
    identity.Family = link.ReplyFields[0];
    if (identity.Family != request::kServedFamily) return Outcome::Done;
    BlockBuffer buffer{};
    int progressCount = 0;
    step = BlockStep(link, ReadBlock(link, 0, progressCount, buffer));
    if (step != Step::Ok) return OutcomeOf(step);
    ConfigImage scratch;
    scratch.DecodeBlock(0, buffer);
    identity.ChannelsFitted = scratch.ChannelsFitted;
    identity.RelayMask = scratch.RelayMask;
    identity.LoadedId = scratch.LoadedId;
    return Outcome::Done;
}

}  // namespace rv
