// A network line against rv740x-sim's own listener: an instrument that keeps silent behind a
// slow network, each way a connection can fail, and a write cut by a dropped connection at
// every one of its requests. (Many requests a round trip late: tests/slow.)

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "case_name.h"
#include "config/transfer.h"
#include "gateway_harness.h"
#include "instrument_map.h"
#include "link/exchange.h"
#include "link/requests.h"
#include "link/session.h"
#include "link/status.h"
#include "ops/search.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace rv {
namespace {

using std::chrono::milliseconds;
using test::ReadStateFile;
using test::SimOptions;
using test::SimProcess;
using Clock = std::chrono::steady_clock;

SimOptions listening(std::vector<std::string> instruments, std::vector<std::string> listen,
                     double delayMs = 0) {
    SimOptions options;
    options.instruments = std::move(instruments);
    options.listen = std::move(listen);
    options.noTerminal = true;
    if (delayMs > 0) options.netDelayMs = delayMs;
    return options;
}

// A silent instrument gives "Нет ответа" once its time-out and the round trip have passed,
// not sooner and not much later.
TEST(NetworkRoundTrip, SilentInstrumentGivesNoReplyAfterTimeOutAndRoundTrip) {
    SimProcess sim(listening({"7", "8,silent"}, {"rfc2217:0"}, 250));
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    link.Device = sim.address("rfc2217");
    link.applySpeedIndex(kDefaultSpeedIndex);
    link.NetNumber = 7;
    const Session session(link, Session::Check::Identify);
    ASSERT_TRUE(session.ready()) << link.LinkStatus << " " << link.LinkDetail;
    link.NetNumber = 8;
    const auto start = Clock::now();
    EXPECT_EQ(Exchange(link, request::Identify(), request::kIdentifyFields), Step::Failed);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_EQ(link.LinkStatus, status::kNoReply);
    const auto timeout = std::chrono::duration_cast<milliseconds>(link.ReplyTimeout);
    EXPECT_GE(elapsed, timeout + milliseconds(240));
    EXPECT_LE(elapsed, timeout + milliseconds(250 + 150));
}

// The simulator's own Telnet port takes the speed the client sets, and its instruments answer
// only at their own: over one port, each of two speeds finds its instrument alone.
TEST(SimListener, FollowsTheSpeedTheClientSets) {
    SimProcess sim(listening({"1,speed=2400", "2,speed=19200"}, {"rfc2217:0"}));
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    link.Device = sim.address("rfc2217");
    for (const auto& [speedIndex, net] : {std::pair{3, 1u}, std::pair{6, 2u}}) {
        link.applySpeedIndex(speedIndex);
        std::vector<unsigned> found;
        SearchObserver observer;
        observer.found = [&](unsigned n) { found.push_back(n); };
        ASSERT_EQ(SearchLine(link, SearchTimeoutOfSpeedIndex(speedIndex), observer, {1, 2}),
                  Outcome::Done)
            << link.LinkDetail;
        EXPECT_EQ(found, std::vector<unsigned>{net}) << link.BaudRate << " baud";
    }
    // The line heard each probe, numbers 1 and 2, at the speed of its search.
    std::vector<unsigned> bauds;
    for (const auto& heard : test::HeardRequests(sim.logPath())) bauds.push_back(heard.baud);
    EXPECT_EQ(bauds, (std::vector<unsigned>{2400, 2400, 19200, 19200}));
}

// Each way a connection fails has its own cause under the status text.
struct Fault {
    std::string name;
    std::string setup;  // what the case needs; see the test
    int32_t status;
    std::string cause;
};

class ConnectionFault : public testing::TestWithParam<Fault> {};

TEST_P(ConnectionFault, ShowsItsCause) {
    const Fault& f = GetParam();
    std::unique_ptr<SimProcess> sim;
    Link link;
    link.NetNumber = 7;
    std::vector<int> held;  // sockets that fill a listener's queue
    Link other;             // a client that holds the gateway
    if (f.setup == "unknown host") {
        link.Device = "rfc2217://no-such-gateway.invalid:4001";
    } else if (f.setup == "refused") {
        link.Device = "tcp://127.0.0.1:" + std::to_string(test::FreePort());
    } else if (f.setup == "no answer") {
        // A listener whose queue is full and never accepted: connections get no answer.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(fd, 0), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        held.push_back(fd);
        for (int i = 0; i < 3; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address);
            held.push_back(c);
        }
        link.Device = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    } else {
        std::string setup = "7";
        std::string listen = "rfc2217:0";
        if (f.setup == "dropped") setup += ",drop-connection=2";
        if (f.setup == "fixed speed") listen = "rfc2217:0:19200";
        sim = std::make_unique<SimProcess>(listening({setup}, {listen}));
        ASSERT_TRUE(sim->started()) << sim->error();
        link.Device = sim->address("rfc2217");
        if (f.setup == "busy") {
            other.Device = link.Device;
            ASSERT_TRUE(other.OpenPort()) << other.LinkDetail;
        }
    }
    const Session session(link, Session::Check::Identify);
    if (session.ready()) Exchange(link, request::Version(), request::kVersionFields);
    for (int fd : held) ::close(fd);
    EXPECT_EQ(link.LinkStatus, f.status);
    EXPECT_EQ(link.LinkDetail, "Адрес: " + link.Device + "\nПричина: " + f.cause);
}

INSTANTIATE_TEST_SUITE_P(
    Network, ConnectionFault,
    testing::Values(
        Fault{"host not found", "unknown host", 5, "узел не найден (проверьте имя узла)"},
        Fault{"refused", "refused", 5,
              "соединение отвергнуто: на этом порту шлюза никто не ждёт соединений"},
        Fault{"no answer to connect", "no answer", 5,
              "нет ответа на соединение: узел недоступен или порт закрыт"},
        Fault{"closed by the gateway", "dropped", 18, "шлюз закрыл соединение"},
        Fault{"gateway serves another client", "busy", 5, "шлюз обслуживает другого клиента"},
        Fault{"speed refused", "fixed speed", 6, "шлюз не принял скорость 9600 бод"}),
    [](const auto& info) { return test::CaseName(info.param.name); });

// The copy of each block a read would take: the primary when it checks, else the backup;
// empty when neither does.
std::vector<std::vector<uint8_t>> blocksAsRead(const std::vector<uint8_t>& memory) {
    std::vector<std::vector<uint8_t>> blocks;
    for (int b = 0; b < test::kBlockRows; ++b) {
        const test::BlockRow& row = test::kBlocks[b];
        std::vector<uint8_t> shown;
        for (const size_t base : {size_t{row.primary}, size_t{row.backup}}) {
            const std::vector<uint8_t> copy(memory.begin() + base,
                                            memory.begin() + base + row.length + 2);
            if (test::BlockCopyValid(copy, b)) {
                shown = copy;
                break;
            }
        }
        blocks.push_back(shown);
    }
    return blocks;
}

// A whole configuration write whose connection the gateway drops after each of its requests
// in turn, from a fresh copy of the same memory every time: every block must read back as it
// was before the write or as the write meant it, never anything else.
TEST(DroppedConnection, AtEveryRequestOfAWriteLeavesEachBlockOldOrNew) {
    test::TempDir dir;
    const std::string setup = "9,model=RV7408";
    // One operation on a fresh simulator started from `start` (or the factory memory): the
    // read when `image` is null, else the write of `image`; `after` gets the memory and
    // `heard` the requests the instrument heard.
    const auto run = [&](const std::string& extra, const std::vector<uint8_t>& start,
                         const ConfigImage* image, std::vector<uint8_t>& after, int& heard) {
        SimOptions options = listening({setup + extra}, {"rfc2217:0"});
        options.stateDir = dir.path() + "/state";
        std::filesystem::create_directories(options.stateDir);
        if (!start.empty()) {
            std::ofstream out(options.stateDir + "/9.mem", std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(start.data()),
                      static_cast<std::streamsize>(start.size()));
        }
        SimProcess sim(options);
        EXPECT_TRUE(sim.started()) << sim.error();
        Link link;
        link.Device = sim.address("rfc2217");
        link.NetNumber = 9;
        link.ReplyTimeout = milliseconds(200);
        ConfigImage read;
        Outcome outcome = Outcome::Done;
        if (image == nullptr) {
            outcome = ReadConfiguration(link, read, {});
        } else {
            outcome = WriteConfiguration(link, *image, {});
        }
        sim.stop();
        heard = static_cast<int>(test::HeardRequests(sim.logPath()).size());
        after = ReadStateFile(sim.stateFile(9));
        return std::make_pair(outcome, read);
    };

    std::vector<uint8_t> before;
    int reads = 0;
    auto [readOutcome, image] = run("", {}, nullptr, before, reads);
    ASSERT_EQ(readOutcome, Outcome::Done);
    ASSERT_EQ(before.size(), 65536u);
    for (ChannelConfig& channel : image.Channels) {
        channel.Ustav1 = MakeWorkingReal(55.5L);
        channel.Usred = 3;
    }
    image.Channels[2].Gist2 = MakeWorkingReal(0.75L);
    image.DisplayPeriodByte = 2;

    std::vector<uint8_t> written;
    int total = 0;
    ASSERT_EQ(run("", before, &image, written, total).first, Outcome::Done);
    const auto oldBlocks = blocksAsRead(before);
    const auto newBlocks = blocksAsRead(written);
    ASSERT_NE(oldBlocks, newBlocks);
    ASSERT_GT(total, 30);

    int cut = 0;
    for (int n = 1; n <= total; ++n) {
        std::vector<uint8_t> after;
        int heard = 0;
        const Outcome outcome =
            run(",drop-connection=" + std::to_string(n), before, &image, after, heard).first;
        SCOPED_TRACE("connection dropped at request " + std::to_string(n) + " of " +
                     std::to_string(total));
        EXPECT_EQ(heard, n);
        EXPECT_NE(outcome, Outcome::Done);
        cut += outcome != Outcome::Done;
        const auto shown = blocksAsRead(after);
        for (int b = 0; b < test::kBlockRows; ++b) {
            const auto& block = shown[size_t(b)];
            EXPECT_TRUE(block == oldBlocks[size_t(b)] || block == newBlocks[size_t(b)])
                << "block " << b << " is neither old nor new";
        }
        if (HasFailure()) return;
    }
    std::printf("[ counts   ] %d writes cut, at each of %d requests\n", cut, total);
}

}  // namespace
}  // namespace rv
