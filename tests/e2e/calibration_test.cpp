#include "channel/calibration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "channel/sensors.h"
#include "link/status.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace {

using rv::MeasurementEnd;
using rv::MeasurementObserver;
using rv::MeasurementResult;
using rv::test::HeardRequests;
using rv::test::SimProcess;

// A link to COM1 behind the simulator's line at 9600 baud, addressing `net`.
void attach(rv::Link& link, const SimProcess& sim, unsigned net) {
    link.Device = sim.linkPath();
    link.applySpeedIndex(rv::kDefaultSpeedIndex);
    link.NetNumber = net;
}

// Records what the measurement showed and the gauge it set.
struct Shown {
    std::vector<int> progress;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    MeasurementObserver observer() {
        return {[this](int p) { progress.push_back(p); },
                [this](const std::string& t) { errors.push_back(t); },
                [this](const std::string& t) { warnings.push_back(t); }};
    }
};

std::vector<std::string> measuringRequests(const SimProcess& sim) {
    std::vector<std::string> commands;
    for (const auto& r : HeardRequests(sim.logPath()))
        if (r.text.rfind("2;", 0) == 0) commands.push_back(r.text);
    return commands;
}

struct ResistanceCase {
    std::string name;
    int channel;       // 0..7
    int typeCode;      // sensor type whose sub-range is used
    double ohms;       // resistance on the simulated input
    double precision;  // half a count of the entry's scale factor
    std::string command;
};

class MeasuredResistance : public ::testing::TestWithParam<ResistanceCase> {};

TEST_P(MeasuredResistance, GivesTheInputsResistanceBack) {
    const ResistanceCase& c = GetParam();
    char instrument[64];
    std::snprintf(instrument, sizeof instrument, "4,r=%d:%.4f", c.channel + 1, c.ohms);
    SimProcess sim({instrument});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim, 4);
    const auto subRange = rv::CalibrationSubRange(c.typeCode);
    ASSERT_TRUE(subRange.has_value());

    Shown shown;
    const MeasurementResult result =
        rv::MeasureResistance(link, c.channel, *subRange, shown.observer());

    ASSERT_EQ(result.end, MeasurementEnd::Measured) << "status " << link.LinkStatus;
    EXPECT_NEAR(static_cast<double>(result.resistance), c.ohms, c.precision);
    EXPECT_EQ(shown.progress, (std::vector<int>{16, 33, 50, 66, 83, 100}));
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(shown.warnings.empty());
    EXPECT_EQ(measuringRequests(sim), std::vector<std::string>(6, c.command));
    EXPECT_FALSE(link.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Sensors, MeasuredResistance,
    ::testing::Values(ResistanceCase{"Pt100Channel1", 0, 6, 108.3521, 0.005, "2;16;32720;"},
                      ResistanceCase{"Copper50Channel3", 2, 0, 53.7137, 0.0025, "2;18;32721;"},
                      ResistanceCase{"Platinum50Channel2", 1, 4, 46.0213, 0.0025, "2;17;32721;"},
                      ResistanceCase{"ResistanceInputChannel8", 7, 17, 312.4449, 0.005,
                                     "2;23;32720;"},
                      ResistanceCase{"Copper100Channel5", 4, 2, 92.0011, 0.005, "2;20;32720;"}),
    [](const ::testing::TestParamInfo<ResistanceCase>& info) { return info.param.name; });

// An error answer of the instrument, answers that are neither a measurement nor an error
// answer, and a measurement that is never answered: nothing is measured, and each ends with
// its message.
struct BadAnswer {
    std::string name;
    std::string switches;
    std::vector<std::string> errors;
};

class MeasurementBadAnswer : public ::testing::TestWithParam<BadAnswer> {};

TEST_P(MeasurementBadAnswer, MeasuresNothing) {
    const BadAnswer& c = GetParam();
    SimProcess sim({"4" + c.switches});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim, 4);
    Shown shown;
    const MeasurementResult result = rv::MeasureResistance(link, 0, 0, shown.observer());
    EXPECT_EQ(result.end, MeasurementEnd::Stopped);
    EXPECT_EQ(shown.errors, c.errors);
    EXPECT_TRUE(shown.progress.empty());
    EXPECT_EQ(measuringRequests(sim).size(), 1u);
    EXPECT_FALSE(link.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, MeasurementBadAnswer,
    ::testing::Values(
        // One field is the instrument's error answer, shown as it came.
        BadAnswer{"OneFieldAnswerIsTheInstrumentsError", ",measure-error=37", {"Ошибка: 37"}},
        // Two fields, one of them no number: a broken answer like any other.
        BadAnswer{"FieldNotANumber", ",measure-reply=4012:$", {"Ошибка обмена"}},
        BadAnswer{"FieldWithTwoPoints", ",measure-reply=1.2.3:4000", {"Ошибка обмена"}},
        BadAnswer{"FieldALoneSign", ",measure-reply=-:4000", {"Ошибка обмена"}},
        // Three fields parse neither as a measurement nor as an error answer.
        BadAnswer{"ThreeFields", ",measure-reply=1:2:3", {"Ошибка обмена"}},
        // Waits the ordinary time-out plus the measurement's 9.936 s before giving up.
        BadAnswer{"NeverAnswered", ",measure-silent", {"Нет ответа"}}),
    [](const ::testing::TestParamInfo<BadAnswer>& info) { return info.param.name; });

TEST(MeasurementAnswers, NoisyLineWarnsAndStillMeasures) {
    SimProcess sim({"4,r=1:100.0,measure-noise=40"});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim, 4);
    Shown shown;
    const MeasurementResult result = rv::MeasureResistance(link, 0, 0, shown.observer());
    ASSERT_EQ(result.end, MeasurementEnd::Measured);
    EXPECT_EQ(shown.warnings, std::vector<std::string>{"Слишком большие шумы"});
    EXPECT_TRUE(shown.errors.empty());
    // Two noisy series of counts of 0.01 ohm each: the filtered value stays near the input.
    EXPECT_NEAR(static_cast<double>(result.resistance), 100.0, 0.8);
}

TEST(MeasurementCancel, DuringTheFourthReadingEndsSilentlyWithThePortClosed) {
    rv::test::SimOptions options;
    options.instruments = {"4"};
    options.latencyMs = 300;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim, 4);
    Shown shown;
    MeasurementObserver observer = shown.observer();
    std::chrono::steady_clock::time_point armedAt{};
    observer.progress = [&](int p) {
        shown.progress.push_back(p);
        if (p == 50) armedAt = std::chrono::steady_clock::now();
    };
    // The cancel press comes while the fourth request waits for its answer.
    link.pumpMessages = [&] {
        if (armedAt != std::chrono::steady_clock::time_point{} &&
            std::chrono::steady_clock::now() - armedAt > std::chrono::milliseconds(100))
            link.CancelFlag = true;
    };
    const MeasurementResult result = rv::MeasureResistance(link, 0, 0, observer);
    EXPECT_EQ(result.end, MeasurementEnd::Stopped);
    EXPECT_EQ(shown.progress, (std::vector<int>{16, 33, 50}));
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(shown.warnings.empty());
    EXPECT_EQ(measuringRequests(sim).size(), 4u);
    EXPECT_FALSE(link.port.isOpen());
}

struct FailureCase {
    std::string name;
    std::string instrument;  // empty: no simulator, the port is missing
    int32_t status;
};

class MeasurementFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MeasurementFailure, LeavesTheStatusForTheWindowAndMeasuresNothing) {
    const FailureCase& c = GetParam();
    SimProcess sim({c.instrument.empty() ? std::string("9") : c.instrument});
    ASSERT_TRUE(sim.started()) << sim.error();
    rv::Link link;
    attach(link, sim, 4);
    if (c.instrument.empty()) link.Device = sim.linkPath() + ".missing";
    Shown shown;
    const MeasurementResult result = rv::MeasureResistance(link, 0, 0, shown.observer());
    EXPECT_EQ(result.end, MeasurementEnd::Failed);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_FALSE(rv::StatusText(static_cast<uint32_t>(link.LinkStatus)).empty());
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(measuringRequests(sim).empty());
    EXPECT_FALSE(link.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(PortAndBlock, MeasurementFailure,
                         ::testing::Values(FailureCase{"PortMissing", "", rv::status::kPortOpen},
                                           FailureCase{"CalibrationBlockUnreadable",
                                                       "4,bad-both=22", rv::status::kMemoryData}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return info.param.name;
                         });

}  // namespace
