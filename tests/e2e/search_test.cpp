#include "ops/search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cancel_later.h"
#include "link/status.h"
#include "link/trace.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace {

using rv::Outcome;
using rv::test::HeardRequests;
using rv::test::SimProcess;

constexpr unsigned kAddressedBefore = 42;

struct Sweep {
    std::vector<unsigned> found;
    std::vector<int> progress;
    // Called after each gauge step with the counter; returns true to ask for a stop.
    std::function<bool(unsigned counter)> stopAfter;

    rv::SearchObserver observer(rv::Link& link) {
        return {[this, &link](int p) {
                    progress.push_back(p);
                    if (stopAfter && stopAfter(static_cast<unsigned>(progress.size())))
                        link.CancelFlag.request();
                },
                [this](unsigned a) { found.push_back(a); },
                {}};
    }
};

void attach(rv::Link& link, const std::string& device, int speedIndex) {
    link.Device = device;
    link.applySpeedIndex(speedIndex);
    link.NetNumber = kAddressedBefore;
}

std::vector<unsigned> probedNumbers(const SimProcess& sim) {
    std::vector<unsigned> nets;
    for (const auto& r : HeardRequests(sim.logPath())) {
        EXPECT_EQ(r.text, "0;");
        nets.push_back(r.net);
    }
    return nets;
}

std::vector<unsigned> range(unsigned first, unsigned last) {
    std::vector<unsigned> v;
    for (unsigned a = first; a <= last; ++a) v.push_back(a);
    return v;
}

// The whole sweep at 9600 baud: about two minutes of silent probes.
TEST(SearchFullSweep, FindsExactlyTheServedFamilyFromOneTo254) {
    SimProcess sim({"3", "200", "254", "100,family=18", "150,silent", "20,family=017"});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim.linkPath(), rv::kDefaultSpeedIndex);
    Sweep sweep;

    const Outcome outcome = rv::SearchLine(
        link, rv::SearchTimeoutOfSpeedIndex(rv::kDefaultSpeedIndex), sweep.observer(link));

    EXPECT_EQ(outcome, Outcome::Done);
    EXPECT_EQ(sweep.found, (std::vector<unsigned>{3, 200, 254}));
    ASSERT_EQ(sweep.progress.size(), 255u);
    for (unsigned a = 1; a <= 255; ++a)
        EXPECT_EQ(sweep.progress[a - 1], static_cast<int>(a * 100 / 255)) << "counter " << a;
    // Number 0 is never probed and 255 never leaves the computer.
    EXPECT_EQ(probedNumbers(sim), range(1, 254));
    EXPECT_EQ(link.NetNumber, kAddressedBefore);
    EXPECT_FALSE(link.port.isOpen());
}

struct EarlyStopCase {
    std::string name;
    std::vector<std::string> instruments;
    int speedIndex;
    unsigned stopAfterCounter;
    std::vector<unsigned> found;
};

class SearchUntilPast : public ::testing::TestWithParam<EarlyStopCase> {};

TEST_P(SearchUntilPast, ListsOnlyExactSeventeenAnswers) {
    const EarlyStopCase& c = GetParam();
    SimProcess sim(c.instruments);
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim.linkPath(), c.speedIndex);
    Sweep sweep;
    sweep.stopAfter = [&](unsigned counter) { return counter >= c.stopAfterCounter; };

    const Outcome outcome =
        rv::SearchLine(link, rv::SearchTimeoutOfSpeedIndex(c.speedIndex), sweep.observer(link));

    EXPECT_EQ(outcome, Outcome::Cancelled);
    EXPECT_EQ(sweep.found, c.found);
    EXPECT_EQ(sweep.progress.size(), c.stopAfterCounter);
    EXPECT_EQ(probedNumbers(sim), range(1, c.stopAfterCounter));
    EXPECT_EQ(link.NetNumber, kAddressedBefore);
    EXPECT_FALSE(link.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SearchUntilPast,
    ::testing::Values(
        EarlyStopCase{"OtherFamiliesAreSilent",
                      {"1", "2,family=18", "3,family=017", "4,family=170", "5"},
                      5,
                      5,
                      {1, 5}},
        EarlyStopCase{
            "OnlyTheSearchSpeedAnswers", {"1,speed=19200", "2", "3,speed=4800"}, 5, 3, {2}},
        EarlyStopCase{"SearchAt19200", {"1,speed=19200", "2", "3,speed=19200"}, 6, 3, {1, 3}},
        EarlyStopCase{"BrokenRepliesAreSilent", {"1,garbage", "2,no-cr", "3,split"}, 5, 3, {1, 3}}),
    [](const ::testing::TestParamInfo<EarlyStopCase>& info) { return info.param.name; });

TEST(SearchStop, DuringASilentProbeEndsThatProbeAtOnce) {
    SimProcess sim({"1", "2,silent"});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim.linkPath(), rv::kDefaultSpeedIndex);
    Sweep sweep;
    // The stop press comes, from another thread, 100 ms into the wait for number 2.
    rv::test::CancelLater stop(link.CancelFlag);
    rv::SearchObserver observer = sweep.observer(link);
    observer.probing = [&](unsigned netNumber) {
        if (netNumber == 2) stop.arm(std::chrono::milliseconds(100));
    };
    // How the wait for each probe's reply ended.
    struct Waits : rv::TraceSink {
        std::vector<std::string> outcomes;
        void record(const rv::TraceRecord& r) override {
            if (r.direction == rv::TraceRecord::Direction::Received)
                outcomes.emplace_back(r.outcome);
        }
    } waits;
    link.trace = &waits;
    const Outcome outcome =
        rv::SearchLine(link, rv::SearchTimeoutOfSpeedIndex(rv::kDefaultSpeedIndex), observer);
    link.trace = nullptr;

    EXPECT_EQ(outcome, Outcome::Cancelled);
    EXPECT_EQ(sweep.found, std::vector<unsigned>{1});
    // No gauge step for the probe that was stopped.
    EXPECT_EQ(sweep.progress, std::vector<int>{0});
    EXPECT_EQ(probedNumbers(sim), range(1, 2));
    // The probe of 2 ended by the stop, not by its time-out.
    EXPECT_EQ(waits.outcomes, (std::vector<std::string>{"ok", "cancelled"}));
    EXPECT_EQ(link.NetNumber, kAddressedBefore);
    EXPECT_FALSE(link.port.isOpen());
}

// The stop pressed before the search reached its first probe still stops it: not a number is
// probed.
TEST(SearchStop, ACancelFromBeforeTheStartStopsTheSearchAtOnce) {
    SimProcess sim({"1"});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim.linkPath(), rv::kDefaultSpeedIndex);
    link.CancelFlag.request();
    Sweep sweep;
    const Outcome outcome = rv::SearchLine(
        link, rv::SearchTimeoutOfSpeedIndex(rv::kDefaultSpeedIndex), sweep.observer(link));
    EXPECT_EQ(outcome, Outcome::Cancelled);
    EXPECT_TRUE(sweep.found.empty());
    EXPECT_TRUE(probedNumbers(sim).empty());
    EXPECT_FALSE(link.port.isOpen());
}

struct PortFailureCase {
    std::string name;
    std::string device;
    int32_t status;
};

class SearchPortFailure : public ::testing::TestWithParam<PortFailureCase> {};

TEST_P(SearchPortFailure, ProbesNothingAndKeepsTheAddressedNumber) {
    const PortFailureCase& c = GetParam();
    rv::Link link;
    attach(link, c.device, rv::kDefaultSpeedIndex);
    Sweep sweep;
    const Outcome outcome = rv::SearchLine(
        link, rv::SearchTimeoutOfSpeedIndex(rv::kDefaultSpeedIndex), sweep.observer(link));
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_TRUE(sweep.found.empty());
    EXPECT_TRUE(sweep.progress.empty());
    EXPECT_EQ(link.NetNumber, kAddressedBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SearchPortFailure,
    ::testing::Values(PortFailureCase{"Missing", "/nonexistent/rv740x-line", rv::status::kPortOpen},
                      PortFailureCase{"NotATerminal", "/dev/null", rv::status::kNoSuchPort}),
    [](const ::testing::TestParamInfo<PortFailureCase>& info) { return info.param.name; });

}  // namespace
