#include "line/recorded_write.h"

#include "configfile/value_texts.h"

namespace rv {

TransferObserver WriteRecorder::watch(TransferObserver observer) {
    auto keepHeld = std::move(observer.blockHeld);
    observer.blockHeld = [this, keepHeld](int index, const BlockBuffer& block) {
        held_[static_cast<size_t>(index)] = block;
        if (keepHeld) keepHeld(index, block);
    };
    auto keepStored = std::move(observer.blockStored);
    observer.blockStored = [this, keepStored](int index, const BlockBuffer& block) {
        stored_[static_cast<size_t>(index)] = block;
        if (keepStored) keepStored(index, block);
    };
    return observer;
}

ConfigImage WriteRecorder::before() const {
    ConfigImage image;
    for (int index = 0; index < kBlockCount; ++index) {
        const auto& block = held_[static_cast<size_t>(index)];
        if (block) image.DecodeBlock(index, *block);
    }
    return image;
}

ConfigImage WriteRecorder::after() const {
    ConfigImage image = before();
    for (int index = 0; index < kBlockCount; ++index) {
        const auto& block = stored_[static_cast<size_t>(index)];
        if (block) image.DecodeBlock(index, *block);
    }
    return image;
}

RecordedWrite WriteAndRecord(Link& link, const ConfigImage& image, const RawBlocks* base,
                             const WriteTarget& target, const std::string& journalPath,
                             const TransferObserver& observer) {
    RecordedWrite result;
    WriteRecorder recorder;
    TransferObserver watched = recorder.watch(observer);
    auto keepBytes = std::move(watched.bytesWritten);
    watched.bytesWritten = [&result, keepBytes](int count) {
        result.bytesWritten = count;
        if (keepBytes) keepBytes(count);
    };
    result.outcome = WriteConfiguration(link, image, watched, base);
    result.status = result.outcome == Outcome::Failed ? link.LinkStatus : 0;
    result.detail = result.outcome == Outcome::Failed ? link.LinkDetail : std::string();
    result.entry = MakeWriteEntry(WriteKind::Configuration, target, recorder.before(),
                                  recorder.after(), result.outcome, result.status);
    result.journaled = AppendJournalEntry(journalPath, result.entry, result.journalError);
    return result;
}

WriteTarget TargetOf(const Link& link, const ConfigImage& image) {
    WriteTarget target{link.Device, link.NetNumber, {}, image.LoadedId};
    if (image.LoadedId != 0) target.Model = ModelName(image.ChannelsFitted);
    return target;
}

JournalEntry DialogWriteEntry(WriteKind kind, const WriteTarget& target, const ConfigImage& image,
                              uint32_t netBefore, int speedIndexBefore, Outcome outcome,
                              int32_t status) {
    ConfigImage before = image;
    ConfigImage after = image;
    if (kind == WriteKind::Network) {
        before.DialogNetNumber = static_cast<uint16_t>(netBefore);
        before.DialogSpeedIndex = static_cast<uint8_t>(speedIndexBefore);
    } else {
        before.Password = static_cast<uint16_t>(image.Password + 1);
    }
    if (outcome != Outcome::Done) after = before;
    return MakeWriteEntry(kind, target, before, after, outcome, status);
}

}  // namespace rv
