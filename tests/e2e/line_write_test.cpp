// One configuration written to several instruments of a line: each keeps its own network
// number, speed and password, only differing bytes travel, a cancel in the middle leaves every
// block old or new, and the journal holds one entry per write attempt.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "configfile/configuration_file.h"
#include "line/journal.h"
#include "line/line_jobs.h"
#include "sim_harness.h"
#include "sim_log.h"
#include "twelve_line.h"

namespace rv {
namespace {

using test::BlockCopyValid;
using test::Member;
using test::ReadBlockCopy;
using test::SimProcess;
using test::TempDir;

using Memory = std::map<int, std::vector<uint8_t>>;  // block -> as shown

std::vector<LineInstrument> instruments(const std::vector<unsigned>& nets) {
    std::vector<LineInstrument> list;
    for (unsigned net : nets) {
        const test::TwelveMember& m = Member(net);
        list.push_back({net, m.baud, m.id, m.model, m.tag});
    }
    return list;
}

class LineWrite : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started()) << sim_.error();
        link_.Device = sim_.linkPath();
        // The configuration to spread: instrument 1's, through a file, with three changes.
        AddressInstrument(link_, instruments({1})[0]);
        ConfigImage image;
        InstrumentRecord record;
        ASSERT_EQ(ReadConfiguration(link_, image, {}, &record), Outcome::Done);
        const std::string path = dir_.path() + "/source.rv740x.json";
        std::string error;
        ASSERT_TRUE(SaveConfigurationFile(path, image, record, error)) << error;
        ASSERT_TRUE(LoadConfigurationFile(path, file_).ok);
        file_.Image.Channels[0].Ustav1 = MakeWorkingReal(55);
        file_.Image.Channels[2].Usred = 7;
        file_.Image.DisplayPeriodByte = DisplayCodeFromSeconds(10);
        source_.image = file_.Image;
        source_.base = &file_.Instrument.Raw;
        source_.identity = IdentityOf(file_.Image, file_.Instrument.Family);
        journal_ = dir_.path() + "/line.rv740x-journal.jsonl";
    }

    JobOutcome write(const std::vector<unsigned>& nets, const JobObserver& observer = {},
                     const ConfirmIdentity& confirm = {}) {
        return WriteInstruments(link_, instruments(nets), source_, journal_, observer, confirm);
    }

    TempDir dir_;
    SimProcess sim_{test::TwelveSetups()};
    Link link_;
    ConfigurationFile file_;
    WriteSource source_;
    std::string journal_;
};

// Five instruments of one model at three speeds, two with passwords of their own.
const std::vector<unsigned> kFive{1, 3, 5, 10, 12};

TEST_F(LineWrite, FiveInstrumentsKeepTheirNumberSpeedAndPasswordAndTheJournalHasEveryWrite) {
    std::map<unsigned, Memory> before;
    std::map<unsigned, std::vector<FieldDifference>> expectedChanges;
    for (unsigned net : kFive) {
        before[net] = test::ShownBlocks(sim_, net);
        // What the write is to change, from a whole read of the instrument beforehand.
        ConfigImage now;
        AddressInstrument(link_, instruments({net})[0]);
        ASSERT_EQ(ReadConfiguration(link_, now, {}), Outcome::Done);
        expectedChanges[net] = CompareConfigurations(now, source_.image);
    }

    const JobOutcome first = write(kFive);
    ASSERT_EQ(first.outcome, Outcome::Done);
    ASSERT_EQ(first.results.size(), kFive.size());
    for (const InstrumentResult& r : first.results) {
        EXPECT_EQ(r.outcome, Outcome::Done) << r.instrument.NetNumber << ": " << r.status;
        EXPECT_GT(r.bytesWritten, 0);
    }
    for (unsigned net : kFive) {
        const Memory after = test::ShownBlocks(sim_, net);
        SCOPED_TRACE("instrument " + std::to_string(net));
        // Network number and speed (block 1) and the password (block 20, bytes 1-2) stay.
        EXPECT_EQ(after.at(1), before[net].at(1));
        EXPECT_EQ(ReadBlockCopy(sim_.stateFile(static_cast<int>(net)), 1, true),
                  ReadBlockCopy(sim_.stateFile(static_cast<int>(net)), 1, false));
        for (size_t k = test::at::Password; k < test::at::Password + 2; ++k)
            EXPECT_EQ(after.at(20)[k], before[net].at(20)[k]);
        // The changed set point is there, in the instrument's own number format.
        const auto ustav = test::DeviceBytes(55);
        EXPECT_TRUE(
            std::equal(ustav.begin(), ustav.end(), after.at(11).begin() + test::at::Ustav1));
        EXPECT_EQ(after.at(5)[test::at::Usred], 7);
    }
    // Each still answers where it did.
    const std::vector<FieldDifference> none;
    for (unsigned net : kFive) {
        ConfigImage now;
        AddressInstrument(link_, instruments({net})[0]);
        ASSERT_EQ(ReadConfiguration(link_, now, {}), Outcome::Done) << net;
        EXPECT_EQ(CompareConfigurations(now, source_.image).size(), 0u) << net;
    }

    // Again: nothing differs, nothing is sent.
    const size_t heardBefore = test::HeardRequests(sim_.logPath()).size();
    const JobOutcome second = write(kFive);
    ASSERT_EQ(second.outcome, Outcome::Done);
    for (const InstrumentResult& r : second.results) EXPECT_EQ(r.bytesWritten, 0);
    const auto heard = test::HeardRequests(sim_.logPath());
    for (size_t i = heardBefore; i < heard.size(); ++i)
        EXPECT_NE(heard[i].text.rfind("202;", 0), 0u) << "a byte write: " << heard[i].text;

    // Another model: left out unless agreed to; agreed to, its first echo is wrong.
    const JobOutcome other = write({2});
    ASSERT_EQ(other.results.size(), 1u);
    EXPECT_TRUE(other.results[0].skipped);
    ASSERT_FALSE(other.results[0].identityWarnings.empty());
    const JobOutcome failing =
        write({9}, {}, [](const LineInstrument&, const auto&) { return true; });
    ASSERT_EQ(failing.results.size(), 1u);
    EXPECT_EQ(failing.results[0].outcome, Outcome::Failed);
    EXPECT_EQ(failing.results[0].status, 30);

    // One entry per write attempt, in order: the two rounds and the failed write.
    const JournalContents journal = ReadJournal(journal_);
    ASSERT_TRUE(journal.ok) << journal.error;
    EXPECT_TRUE(journal.problems.empty());
    ASSERT_EQ(journal.entries.size(), 2 * kFive.size() + 1);
    for (size_t i = 0; i < 2 * kFive.size(); ++i) {
        const JournalEntry& e = journal.entries[i];
        const unsigned net = kFive[i % kFive.size()];
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(e.NetNumber, net);
        EXPECT_EQ(e.Model, Member(net).model);
        EXPECT_EQ(e.Id, Member(net).id);
        EXPECT_EQ(e.Port, sim_.linkPath());
        EXPECT_EQ(e.Operation, "Запись конфигурации");
        EXPECT_EQ(e.Result, "Выполнено");
        const auto& expected = i < kFive.size() ? expectedChanges[net] : none;
        ASSERT_EQ(e.Changes.size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(e.Changes[k].field, expected[k].field);
            EXPECT_EQ(e.Changes[k].left, expected[k].left);
            EXPECT_EQ(e.Changes[k].right, expected[k].right);
        }
    }
    EXPECT_EQ(journal.entries.back().NetNumber, 9u);
    EXPECT_EQ(journal.entries.back().Result, "Ошибка памяти данных");
}

TEST_F(LineWrite, ACancelInTheMiddleLeavesEveryBlockOldOrNewAndTheRestUntouched) {
    std::map<unsigned, Memory> before;
    for (unsigned net : kFive) before[net] = test::ShownBlocks(sim_, net);

    // The third instrument's write is stopped halfway through, as the progress window's
    // "Отмена" does: a stop for the job and the link's cancel request.
    bool stop = false;
    size_t current = 0;
    JobObserver observer;
    observer.starting = [&](size_t position, size_t, const LineInstrument&) { current = position; };
    observer.progress = [&](int percent) {
        if (current == 2 && percent >= 50 && !stop) {
            stop = true;
            link_.CancelFlag.request();
        }
    };
    observer.stopRequested = [&] { return stop; };
    const JobOutcome cut = write(kFive, observer);
    EXPECT_EQ(cut.outcome, Outcome::Cancelled);
    ASSERT_EQ(cut.results.size(), 3u);
    EXPECT_EQ(cut.results[2].outcome, Outcome::Cancelled);
    std::map<unsigned, Memory> atCut;
    for (unsigned net : kFive) atCut[net] = test::ShownBlocks(sim_, net);

    // The same write to the end gives what "new" is for each; a new use of the line starts
    // without the cancel request of the one before.
    link_.CancelFlag.clear();
    ASSERT_EQ(write(kFive).outcome, Outcome::Done);
    int oldBlocks = 0;
    int newBlocks = 0;
    for (size_t i = 0; i < kFive.size(); ++i) {
        const unsigned net = kFive[i];
        const Memory done = test::ShownBlocks(sim_, net);
        for (int block : kWrittenBlocks) {
            SCOPED_TRACE("instrument " + std::to_string(net) + ", block " + std::to_string(block));
            const auto& shown = atCut[net].at(block);
            ASSERT_TRUE(BlockCopyValid(shown, block));
            if (i < 2) {
                EXPECT_EQ(shown, done.at(block));
            } else if (i > 2) {
                EXPECT_EQ(shown, before[net].at(block));
            } else {
                EXPECT_TRUE(shown == before[net].at(block) || shown == done.at(block));
                if (shown != done.at(block)) ++oldBlocks;
                if (shown != before[net].at(block)) ++newBlocks;
            }
        }
    }
    // The cut fell inside the instrument: some of its blocks were written, some not.
    EXPECT_GT(oldBlocks, 0);
    EXPECT_GT(newBlocks, 0);

    // A stop asked between two instruments: the next one is not begun.
    JobObserver between;
    bool stopNow = false;
    between.finished = [&](const InstrumentResult&) { stopNow = true; };
    between.stopRequested = [&] { return stopNow; };
    const JobOutcome stopped = write({12, 3}, between);
    EXPECT_EQ(stopped.outcome, Outcome::Cancelled);
    EXPECT_EQ(stopped.results.size(), 1u);

    const JournalContents journal = ReadJournal(journal_);
    ASSERT_EQ(journal.entries.size(), 3u + kFive.size() + 1);
    EXPECT_EQ(journal.entries[2].Result, "Остановлено");
    EXPECT_EQ(journal.entries[2].NetNumber, kFive[2]);
}

}  // namespace
}  // namespace rv
