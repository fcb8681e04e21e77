#include "config/transfer.h"

#include <array>

#include "devmem/blocks.h"
#include "link/requests.h"
#include "link/session.h"

namespace rv {

namespace {

constexpr std::array<int, 29> kReadOrder{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                         15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28, 29};
constexpr std::array<int, 18> kWriteOrder{2,  3,  4,  5,  6,  7,  8,  9,  10,
                                          11, 12, 13, 14, 15, 16, 17, 18, 20};

// Every written block is read first (2 transactions) and then written in both copies.
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

Outcome readBlocks(Link& link, ConfigImage& image, const TransferObserver& observer) {
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();
    Step step = Exchange(link, request::Version(), request::kVersionFields);
    if (step != Step::Ok) return OutcomeOf(step);
    if (observer.versionReceived) observer.versionReceived(link.ReplyFields[0]);

    BlockBuffer buffer{};
    int progressCount = 0;
    for (int index : kReadOrder) {
        step = BlockStep(link, ReadBlock(link, index, progressCount, buffer));
        if (step != Step::Ok) return OutcomeOf(step);
        report(observer, progressCount, kReadBudget);
        image.DecodeBlock(index, buffer);
        if (observer.blockDecoded) observer.blockDecoded(index);
    }
    return Outcome::Done;
}

}  // namespace

Outcome ReadConfiguration(Link& link, ConfigImage& image, const TransferObserver& observer) {
    const Outcome outcome = readBlocks(link, image, observer);
    if (outcome != Outcome::Done) image.LoadedId = 0;
    return outcome;
}

Outcome WriteConfiguration(Link& link, const ConfigImage& image, const TransferObserver& observer) {
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();

    BlockBuffer buffer{};
    int progressCount = 0;
    for (int index : kWriteOrder) {
        Step step = BlockStep(link, ReadBlock(link, index, progressCount, buffer));
        if (step != Step::Ok) return OutcomeOf(step);
        report(observer, progressCount, kWriteBudget);
        image.EncodeBlock(index, buffer);
        step = BlockStep(link, WriteBlock(link, index, progressCount, buffer));
        if (step != Step::Ok) return OutcomeOf(step);
        report(observer, progressCount, kWriteBudget);
    }
    return OutcomeOf(EndWriteSequence(link));
}

}  // namespace rv
