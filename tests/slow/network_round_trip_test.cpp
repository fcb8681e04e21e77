// Many requests to an instrument behind a network that adds a quarter of a second to the
// round trip, against rv740x-sim's own listener. Label `slow`: it waits some 25 s.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "link/exchange.h"
#include "link/requests.h"
#include "link/session.h"
#include "link/status.h"
#include "link/timeouts.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::SimOptions;
using test::SimProcess;

// 250 ms of added round trip, with the protocol's own reply time-out at 9600 baud: every
// request must be answered, 1,000 of them over ten connections at once. (That the round trip
// is added to the time-out, tests/e2e/network_line_test.cpp shows with a silent instrument.)
TEST(NetworkRoundTrip, ThousandRequestsWithAddedRoundTripAreAllAnswered) {
    constexpr int kConnections = 10;
    constexpr int kRequestsEach = 100;
    SimOptions options;
    options.instruments = {"7"};
    options.noTerminal = true;
    options.netDelayMs = 250;
    for (int i = 0; i < kConnections; ++i) options.listen.push_back("rfc2217:0");
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    std::vector<std::string> addresses = sim.addresses("rfc2217");
    ASSERT_EQ(addresses.size(), size_t{kConnections});

    std::vector<int> noReply(kConnections, 0);
    std::vector<int> otherFailure(kConnections, 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < kConnections; ++c) {
        threads.emplace_back([&, c] {
            Link link;
            link.Device = addresses[static_cast<size_t>(c)];
            link.NetNumber = 7;
            link.applySpeedIndex(kDefaultSpeedIndex);
            const Session session(link, Session::Check::PortOnly);
            if (!session.ready()) {
                otherFailure[static_cast<size_t>(c)] = kRequestsEach;
                return;
            }
            // Two requests by turns, each with its own answer: a late answer to the one
            // before cannot pass for the right one.
            for (int i = 0; i < kRequestsEach; ++i) {
                const bool identify = i % 2 == 0;
                const Step step =
                    identify ? Exchange(link, request::Identify(), request::kIdentifyFields)
                             : Exchange(link, request::Version(), request::kVersionFields);
                if (step == Step::Ok && link.ReplyFields[0] == (identify ? "17" : "2.07")) continue;
                ++(link.LinkStatus == status::kNoReply ? noReply : otherFailure)[size_t(c)];
            }
        });
    }
    for (std::thread& t : threads) t.join();
    int lost = 0;
    int failed = 0;
    for (int c = 0; c < kConnections; ++c) {
        lost += noReply[size_t(c)];
        failed += otherFailure[size_t(c)];
    }
    EXPECT_EQ(lost, 0) << "false \"Нет ответа\" of 1000";
    EXPECT_EQ(failed, 0);
}

}  // namespace
}  // namespace rv
