// A long run against rv740x-sim: random edits, reads and writes, each write possibly cut at
// a random point by a cancel, a dropped reply, a wrong echo or a power cut, and the line
// sometimes noisy or slow to deliver. After every step each block the configuration write
// owns must read back with its contents from before the step or those the step wrote, and
// an outcome reported as done must have written everything: a failure is never success.
//
// RV740X_SOAK_SECONDS sets the length of the run (default 60), RV740X_SOAK_SEED the seed
// (default: taken from the clock and printed, so a finding can be run again).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/dialog_writes.h"
#include "config/transfer.h"
#include "cut_line.h"
#include "devmem/blocks.h"
#include "link/session.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::Cut;
using test::CutName;
using test::RestartableInstrument;
using test::RunWithCut;

constexpr int kNet = 33;
constexpr int kPasswordBlock = 20;
// The blocks a configuration write owns, in the order it writes them.
const std::vector<int> kOwnedBlocks{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20};

using Image = std::vector<uint8_t>;  // one stored copy: identifier, data, CRC

size_t storedSize(int block) { return BlockTable[static_cast<size_t>(block)].length + size_t{2}; }

Image imageOf(const BlockBuffer& buffer, int block) {
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(storedSize(block))};
}

// The block as a write of `buffer` stores it: identifier and CRC filled in.
Image sealed(BlockBuffer buffer, int block) {
    const BlockInfo& info = BlockTable[static_cast<size_t>(block)];
    buffer[0] = static_cast<uint8_t>(info.id);
    const uint16_t crc = BlockCrc(buffer.data(), info.length);
    buffer[info.length] = static_cast<uint8_t>(crc);
    buffer[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    return imageOf(buffer, block);
}

BlockBuffer bufferOf(const Image& image) {
    BlockBuffer b{};
    std::copy(image.begin(), image.end(), b.begin());
    return b;
}

// A copy part old, part new, that happens to carry a matching CRC: the one third state a
// 16-bit CRC cannot rule out. Counted, not failed.
bool isTornCopyWithMatchingCrc(const Image& shown, const Image& before, const Image& after) {
    if (shown.size() != before.size() || shown.size() != after.size()) return false;
    for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != before[i] && shown[i] != after[i]) return false;
    return true;
}

long environmentNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 ? value : fallback;
}

struct Tally {
    int steps = 0;
    int writes = 0;
    int reads = 0;
    int cutsFired = 0;
    int done = 0;
    int failed = 0;
    int cancelled = 0;
    int tornWithMatchingCrc = 0;
    std::map<std::string, int> byCut;
};

class Soak {
  public:
    Soak(const std::string& stateDir, unsigned seed) : instrument_(stateDir, kNet), random_(seed) {}

    bool start() {
        if (!instrument_.started()) return false;
        instrument_.attach(link_);
        for (int block : kOwnedBlocks) shown_[block] = readBlock(block);
        return !::testing::Test::HasFailure();
    }

    void step() {
        ++tally_.steps;
        const unsigned kind = random_() % 10;
        if (kind < 2) {
            readWhole();
        } else if (kind < 6) {
            writeWhole();
        } else if (kind < 9) {
            writeOneBlock();
        } else {
            writePassword();
        }
    }

    const Tally& tally() const { return tally_; }

  private:
    Image readBlock(int block) {
        EXPECT_TRUE(link_.OpenPort()) << link_.LinkStatus;
        int progress = 0;
        BlockBuffer buffer{};
        EXPECT_EQ(ReadBlock(link_, block, progress, buffer), 0) << "block " << block << " lost";
        link_.ClosePort();
        return imageOf(buffer, block);
    }

    // A whole read must succeed and show what the blocks hold.
    void readWhole() {
        ++tally_.reads;
        const Outcome outcome = ReadConfiguration(link_, image_, {});
        EXPECT_EQ(outcome, Outcome::Done) << link_.LinkStatus;
        ConfigImage expected;
        for (int block : kOwnedBlocks) expected.DecodeBlock(block, bufferOf(shown_[block]));
        for (int block : kOwnedBlocks) {
            BlockBuffer a = bufferOf(shown_[block]), b = a;
            expected.EncodeBlock(block, a);
            image_.EncodeBlock(block, b);
            EXPECT_EQ(imageOf(a, block), imageOf(b, block)) << "read shows block " << block;
        }
    }

    void editImage() {
        for (int edits = 1 + static_cast<int>(random_() % 4); edits > 0; --edits) {
            ChannelConfig& c = image_.Channels[random_() % kChannelCount];
            switch (random_() % 6) {
                case 0:
                    c.Usred = static_cast<uint16_t>(random_() % 10000);
                    break;
                case 1:
                    c.Ustav1 =
                        MakeWorkingReal(static_cast<long double>(random_() % 20000) / 8 - 1000);
                    break;
                case 2:
                    c.Gist2 = MakeWorkingReal(static_cast<long double>(random_() % 100) / 16);
                    break;
                case 3:
                    c.SensorType = static_cast<uint8_t>(random_() % 18);
                    break;
                case 4:
                    image_.RelayTable[random_() % kRelayTableSize] =
                        static_cast<uint8_t>(random_());
                    break;
                default:
                    image_.UsedChannels = static_cast<uint16_t>(random_() & 0xFF);
                    break;
            }
        }
    }

    // Picks how the next write is cut, within `total` byte writes.
    struct Plan {
        Cut cut = Cut::None;
        int limit = -1;
        std::string switches;  // a fault switch or line noise for this write only
        std::string name;
    };
    Plan plan(int total) {
        Plan p;
        const unsigned pick = random_() % 10;
        p.limit = static_cast<int>(random_() % static_cast<unsigned>(total + 1));
        if (pick < 2) {
            p.name = "none";
        } else if (pick < 3) {
            p.switches = random_() % 2 ? ",garbage" : ",split";
            p.name = p.switches.substr(1);
        } else if (pick < 5) {
            p.cut = Cut::Cancel;
        } else if (pick < 7) {
            p.cut = Cut::DropReply;
            p.limit = std::min(p.limit, total - 1);
        } else if (pick < 9) {
            p.cut = Cut::Kill;
        } else {
            // The echo of write limit + 1 is wrong, so that write must exist.
            p.limit = std::min(p.limit, total - 1);
            p.switches = ",bad-echo=" + std::to_string(p.limit + 1);
            p.name = "wrong echo";
        }
        if (p.name.empty()) p.name = CutName(p.cut);
        return p;
    }

    // Runs a write of the blocks in `targets` under `p`, then checks every owned block and
    // the outcome against what happened on the line.
    void runWrite(const std::map<int, Image>& targets, const Plan& p,
                  const std::function<Outcome()>& write) {
        ++tally_.writes;
        ++tally_.byCut[p.name];
        if (!p.switches.empty()) {
            instrument_.start(p.switches);
            instrument_.attach(link_);
            // A long reply in pieces takes longer than the short time-out of the other steps.
            if (p.switches == ",split") link_.ReplyTimeout = std::chrono::seconds(1);
        }
        Outcome outcome = Outcome::Failed;
        const test::CutResult result =
            RunWithCut(link_, instrument_, p.cut, p.limit, [&] { outcome = write(); });
        bool lineFailed = result.fired;
        if (p.switches.rfind(",bad-echo", 0) == 0) lineFailed = result.writesHeard > p.limit;
        if (!p.switches.empty()) {
            instrument_.start();
            instrument_.attach(link_);
        }
        if (lineFailed) ++tally_.cutsFired;
        switch (outcome) {
            case Outcome::Done:
                ++tally_.done;
                break;
            case Outcome::Failed:
                ++tally_.failed;
                break;
            case Outcome::Cancelled:
                ++tally_.cancelled;
                break;
        }
        SCOPED_TRACE("step " + std::to_string(tally_.steps) + ", cut: " + p.name + " after " +
                     std::to_string(p.limit) + " byte writes");
        if (lineFailed) {
            EXPECT_NE(outcome, Outcome::Done) << "a write the line cut short was reported done";
        } else {
            EXPECT_EQ(outcome, Outcome::Done) << "a write nothing cut failed: " << link_.LinkStatus;
        }

        for (int block : kOwnedBlocks) {
            const Image now = readBlock(block);
            const auto target = targets.find(block);
            const Image& before = shown_[block];
            if (target == targets.end()) {
                EXPECT_EQ(now, before) << "block " << block << " changed, nobody wrote it";
            } else if (now != before && now != target->second) {
                if (isTornCopyWithMatchingCrc(now, before, target->second)) {
                    ++tally_.tornWithMatchingCrc;
                } else {
                    ADD_FAILURE() << "block " << block << " reads back neither old nor new";
                }
            }
            if (outcome == Outcome::Done && target != targets.end()) {
                EXPECT_EQ(now, target->second) << "block " << block << " not written, yet done";
            }
            shown_[block] = now;
        }
    }

    // The byte writes the targets take: a write sends only the bytes of each copy that differ,
    // so the cut points are drawn from those.
    int writesOf(const std::map<int, Image>& targets) const {
        int total = 0;
        for (const auto& [block, image] : targets) {
            for (bool backup : {false, true}) {
                const Image copy = test::ReadBlockCopy(instrument_.stateFile(), block, backup);
                for (size_t i = 0; i < image.size(); ++i)
                    total += i >= copy.size() || copy[i] != image[i];
            }
        }
        return total;
    }

    void writeWhole() {
        editImage();
        std::map<int, Image> targets;
        for (int block : kOwnedBlocks) {
            BlockBuffer buffer = bufferOf(shown_[block]);
            image_.EncodeBlock(block, buffer);
            targets[block] = sealed(buffer, block);
        }
        runWrite(targets, plan(writesOf(targets)),
                 [&] { return WriteConfiguration(link_, image_, {}); });
    }

    void writeOneBlock() {
        const int block = kOwnedBlocks[random_() % kOwnedBlocks.size()];
        BlockBuffer contents = bufferOf(shown_[block]);
        const size_t length = BlockTable[static_cast<size_t>(block)].length;
        if (random_() % 2) {
            // A field or two, the common edit.
            for (int k = 1 + static_cast<int>(random_() % 3); k > 0; --k)
                contents[1 + random_() % (length - 1)] = static_cast<uint8_t>(random_());
        } else {
            for (size_t i = 1; i < length; ++i)
                if (random_() % 3 == 0) contents[i] = static_cast<uint8_t>(random_());
        }
        const std::map<int, Image> targets{{block, sealed(contents, block)}};
        runWrite(targets, plan(writesOf(targets)), [&] {
            const Session session(link_, Session::Check::PortOnly);
            if (!session.ready()) return session.outcome();
            int progress = 0;
            BlockBuffer buffer = contents;
            return BlockStep(link_, WriteBlock(link_, block, progress, buffer)) == Step::Ok
                       ? Outcome::Done
                       : Outcome::Failed;
        });
    }

    void writePassword() {
        image_.Password = static_cast<uint16_t>(random_());
        image_.DisplayPeriodByte = static_cast<uint8_t>(random_());
        BlockBuffer buffer = bufferOf(shown_[kPasswordBlock]);
        image_.EncodePasswordBlock(buffer);
        const std::map<int, Image> targets{{kPasswordBlock, sealed(buffer, kPasswordBlock)}};
        runWrite(targets, plan(writesOf(targets)),
                 [&] { return WritePassword(link_, image_, {}); });
    }

    RestartableInstrument instrument_;
    Link link_;
    ConfigImage image_;
    std::map<int, Image> shown_;
    std::mt19937 random_;
    Tally tally_;
};

TEST(Soak, EveryBlockOldOrNewAndNoFailureReportedAsSuccess) {
    const long seconds = environmentNumber("RV740X_SOAK_SECONDS", 60);
    const auto seed = static_cast<unsigned>(environmentNumber(
        "RV740X_SOAK_SEED",
        std::chrono::system_clock::now().time_since_epoch().count() & 0x7FFFFFFF));
    std::printf("[ soak     ] %ld s, seed %u (RV740X_SOAK_SEED=%u repeats it)\n", seconds, seed,
                seed);
    test::TempDir stateDir;
    Soak soak(stateDir.path(), seed);
    ASSERT_TRUE(soak.start());

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end && !testing::Test::HasFailure()) soak.step();

    const Tally& t = soak.tally();
    std::printf(
        "[ soak     ] %d steps: %d writes (%d cut short), %d whole reads; outcomes: "
        "%d done, %d failed, %d cancelled; torn copies with a matching CRC: %d\n",
        t.steps, t.writes, t.cutsFired, t.reads, t.done, t.failed, t.cancelled,
        t.tornWithMatchingCrc);
    for (const auto& [name, count] : t.byCut)
        std::printf("[ soak     ]   %s: %d\n", name.c_str(), count);
    EXPECT_GT(t.steps, 0);
}

}  // namespace
}  // namespace rv
