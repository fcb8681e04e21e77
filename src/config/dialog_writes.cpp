#include "config/dialog_writes.h"

#include "devmem/blocks.h"
#include "link/session.h"

namespace rv {

namespace {

constexpr int kNetworkBlock = 1;
constexpr int kPasswordBlock = 20;

// Identifies the instrument, rewrites one block with the bytes `encode` puts in and closes
// the write sequence.
template <typename Encode>
Outcome rewriteBlock(Link& link, int index, const std::function<void(int)>& progress,
                     Encode encode) {
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();

    // The dialogs' gauge shows two fixed steps: the block read, then the block written.
    BlockBuffer buffer{};
    WriteProgress counted;
    counted.plan(index);
    const auto edit = [&](BlockBuffer& block) {
        if (progress) progress(kDialogProgressRead);
        encode(block);
    };
    const Step step = BlockStep(link, UpdateBlock(link, index, counted, buffer, edit));
    if (step != Step::Ok) return OutcomeOf(step);
    if (progress) progress(kDialogProgressWritten);
    return OutcomeOf(EndWriteSequence(link));
}

}  // namespace

Outcome WriteNetworkSettings(Link& link, const ConfigImage& image,
                             const std::function<void(int)>& progress) {
    return rewriteBlock(link, kNetworkBlock, progress,
                        [&](BlockBuffer& buffer) { image.EncodeNetworkBlock(buffer); });
}

Outcome WritePassword(Link& link, const ConfigImage& image,
                      const std::function<void(int)>& progress) {
    return rewriteBlock(link, kPasswordBlock, progress,
                        [&](BlockBuffer& buffer) { image.EncodePasswordBlock(buffer); });
}

}  // namespace rv
