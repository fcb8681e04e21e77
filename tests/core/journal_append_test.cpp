// The journal survives the death of a writer in the middle of an append: every entry it holds
// reads back whole, a line cut short is reported and skipped, and the next entry starts on a
// line of its own.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "line/journal.h"
#include "sim_harness.h"

namespace rv {
namespace {

// An entry of a write that changed many settings: a few pages long, so that a kill can fall
// inside the system's copy of it.
JournalEntry bigEntry(int number) {
    JournalEntry e;
    e.Time = "2026-12-07T10:15:00Z";
    e.Account = "наладчик " + std::to_string(number);
    e.Port = "/dev/ttyUSB0";
    e.NetNumber = 12;
    e.Model = "RV7408";
    e.Id = 0x0A1B2C;
    e.Operation = "Запись конфигурации";
    e.Result = "Выполнено";
    for (int i = 0; i < 200; ++i)
        e.Changes.push_back({1 + i % 8, "Реле" + std::to_string(i % 8 + 1) + ": Уставка 1",
                             "не срабатывает", "срабатывает"});
    return e;
}

TEST(JournalAppend, AWriterKilledDuringAppendsLeavesTheJournalReadable) {
    test::TempDir dir;
    const std::string path = dir.path() + "/line.rv740x-journal.jsonl";
    std::mt19937 random(7);
    size_t cut = 0;
    size_t previous = 0;
    constexpr int kKills = 12;
    for (int round = 0; round < kKills; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                std::string error;
                if (!AppendJournalEntry(path, bigEntry(n), error)) ::_exit(2);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

        const JournalContents journal = ReadJournal(path);
        ASSERT_TRUE(journal.ok) << journal.error;
        for (const std::string& problem : journal.problems)
            EXPECT_NE(problem.find("запись оборвана"), std::string::npos) << problem;
        // At most the line being written when the kill came is cut.
        EXPECT_LE(journal.problems.size(), static_cast<size_t>(round + 1));
        cut = journal.problems.size();
        EXPECT_GE(journal.entries.size(), previous);
        previous = journal.entries.size();
        for (JournalEntry e : journal.entries) {
            e.Account = bigEntry(0).Account;
            ASSERT_EQ(e, bigEntry(0));
        }
    }
    EXPECT_GT(previous, static_cast<size_t>(kKills)) << "too few appends to tell";
    std::printf("[ journal  ] %zu entries whole, %zu lines cut by %d kills\n", previous, cut,
                kKills);

    // A power cut leaves half an entry without its newline; the next one is whole after it.
    const std::string half = FormatJournalEntry(bigEntry(1)).substr(0, 300);
    std::ofstream(path, std::ios::app | std::ios::binary) << half;
    std::string error;
    ASSERT_TRUE(AppendJournalEntry(path, bigEntry(-1), error)) << error;
    const JournalContents after = ReadJournal(path);
    EXPECT_EQ(after.entries.size(), previous + 1);
    EXPECT_EQ(after.entries.back(), bigEntry(-1));
    ASSERT_EQ(after.problems.size(), cut + 1);
    EXPECT_NE(after.problems.back().find("запись оборвана"), std::string::npos);
}

}  // namespace
}  // namespace rv
