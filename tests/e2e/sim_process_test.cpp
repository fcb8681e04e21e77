#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "case_name.h"
#include "e2e/sim_client.h"
#include "instrument_map.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

// Runs rv740x-sim to its end with `args`; returns the exit status, stdout and stderr.
struct SimRun {
    int status = -1;
    std::string out;
    std::string err;
};

SimRun RunSim(const std::vector<std::string>& args) {
    TempDir dir;
    const std::string outPath = dir.path() + "/out";
    const std::string errPath = dir.path() + "/err";
    std::vector<std::string> all{RV740X_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    SimRun run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // A simulator that starts serving instead of refusing would never end on its own.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::stringstream out, err;
    out << std::ifstream(outPath).rdbuf();
    err << std::ifstream(errPath).rdbuf();
    run.out = out.str();
    run.err = err.str();
    return run;
}

class SimBadArguments : public ::testing::TestWithParam<std::vector<std::string>> {};

std::string ArgumentsName(const ::testing::TestParamInfo<std::vector<std::string>>& info) {
    std::string text;
    for (const std::string& argument : info.param) text += argument + " ";
    return rv::test::CaseName(text);
}

TEST_P(SimBadArguments, ExitWithStatus2AndSayWhy) {
    const SimRun run = RunSim(GetParam());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("rv740x-sim: "), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("ready"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SimBadArguments,
    ::testing::Values(
        std::vector<std::string>{}, std::vector<std::string>{"--instrument", "5"},
        std::vector<std::string>{"--link", "/tmp/x"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "0"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "255"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,model=RV7407"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,speed=115200"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,colour=red"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,version=v2"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,id=0x1000000"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,bad-both=31"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,password=12345"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,r=9:100"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,ramp=1:109.73:100"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,ramp=1:0:100:60"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,ramp=1:110:100:-1"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,r-noise=1:-0.1"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,silent=1"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5", "--instrument", "5"},
        std::vector<std::string>{"--link", "/tmp/x", "--latency", "fast", "--instrument", "5"},
        std::vector<std::string>{"--link", "/tmp/x", "--frobnicate", "--instrument", "5"}),
    ArgumentsName);

// Numbers beyond an option's range are refused however many digits they have; none wraps
// into the range (2^32 + 5 and 2^64 + 5 would read as 5 in 32 or 64 bits).
INSTANTIATE_TEST_SUITE_P(
    Overflow, SimBadArguments,
    ::testing::Values(
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "2147483653"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "4294967301"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "9223372036854775813"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "18446744073709551621"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "36893488147419103237"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "0x10000000000000005"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,relays=4294967301"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,id=0x10000000000000001"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,speed=4294976896"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument",
                                 "5,bad-echo=18446744073709551617"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,drop-reply=4294967297"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument",
                                 "5,bad-primary=18446744073709551619"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,r=4294967297:100"},
        std::vector<std::string>{"--link", "/tmp/x", "--instrument", "5,r=1:1e400"},
        std::vector<std::string>{"--link", "/tmp/x", "--latency", "1e400", "--instrument", "5"}),
    ArgumentsName);

// Leading zeros do not make a number too large.
TEST(SimProcess, LeadingZerosAreStillTheNumber) {
    SimProcess sim({"000000000000000000000000005,relays=0x0000000000000000000F"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    EXPECT_EQ(client.ask("0;", 1).status, 0);
}

TEST(SimProcess, HelpExplainsTheKeysAndExitsZero) {
    const SimRun run = RunSim({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* word : {"--link", "--state", "--pace", "model=", "bad-primary=", "no-cr"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
}

TEST(SimProcess, StopsCleanlyAndRemovesItsLink) {
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    struct stat st {};
    ASSERT_EQ(::lstat(sim.linkPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(::lstat(sim.linkPath().c_str(), &st), 0);
}

TEST(SimProcess, RefusesToReplaceAFileThatIsNotALink) {
    TempDir dir;
    const std::string path = dir.path() + "/line";
    std::ofstream(path) << "keep me";
    const SimRun run = RunSim({"--link", path, "--instrument", "5"});
    EXPECT_NE(run.status, 0);
    std::stringstream kept;
    kept << std::ifstream(path).rdbuf();
    EXPECT_EQ(kept.str(), "keep me");
}

// What --link finds at its path that is not a leftover link to a pseudo-terminal stays as it
// is: the simulator says why and does not start.
struct ForeignLink {
    const char* name;
    std::string target;  // "FILE": a file of the user's beside the link
};

class SimForeignLink : public ::testing::TestWithParam<ForeignLink> {};

TEST_P(SimForeignLink, IsRefusedAndLeftAsItIs) {
    TempDir dir;
    const std::string file = dir.path() + "/notes.txt";
    std::ofstream(file) << "keep me";
    const std::string path = dir.path() + "/line";
    const std::string target = GetParam().target == "FILE" ? file : GetParam().target;
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);

    const SimRun run = RunSim({"--link", path, "--instrument", "5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("rv740x-sim: " + path), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("left as it is"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("ready"), std::string::npos);
    std::array<char, 4096> kept{};
    const ssize_t n = ::readlink(path.c_str(), kept.data(), kept.size() - 1);
    EXPECT_EQ(std::string(kept.data(), n > 0 ? static_cast<size_t>(n) : 0), target);
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    EXPECT_EQ(content.str(), "keep me");
}

INSTANTIATE_TEST_SUITE_P(Targets, SimForeignLink,
                         ::testing::Values(ForeignLink{"users_file", "FILE"},
                                           ForeignLink{"directory", "/tmp"},
                                           ForeignLink{"other_device", "/dev/null"},
                                           ForeignLink{"dangling_elsewhere", "/nonexistent/line"},
                                           ForeignLink{"not_a_terminal_name", "/dev/pts/ptmx"},
                                           ForeignLink{"relative", "line2"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A link left behind by a killed run names a terminal that is gone, or one that another
// process still holds open; either is taken over.
TEST(SimProcess, ReplacesALinkLeftByAnEarlierRun) {
    TempDir dir;
    const std::string path = dir.path() + "/line";
    for (const std::string target : {"/dev/pts/999999", "LIVE"}) {
        std::string pointsTo = target;
        std::unique_ptr<SimProcess> earlier;
        if (target == "LIVE") {
            earlier = std::make_unique<SimProcess>(std::vector<std::string>{"6"});
            ASSERT_TRUE(earlier->started()) << earlier->error();
            std::array<char, 256> name{};
            const ssize_t n = ::readlink(earlier->linkPath().c_str(), name.data(), name.size() - 1);
            ASSERT_GT(n, 0);
            pointsTo.assign(name.data(), static_cast<size_t>(n));
        }
        ::unlink(path.c_str());
        ASSERT_EQ(::symlink(pointsTo.c_str(), path.c_str()), 0);
        SimOptions options;
        options.instruments = {"5"};
        options.linkPath = path;
        SimProcess sim(options);
        ASSERT_TRUE(sim.started()) << target << ": " << sim.error();
        SimClient client(sim.linkPath(), 9600, 5);
        ASSERT_TRUE(client.opened);
        EXPECT_EQ(client.ask("0;", 1).status, 0) << target;
    }
}

struct StopCase {
    std::string name;
    bool hardKill;
};

class SimState : public ::testing::TestWithParam<StopCase> {};

// The memory file is written through, so a byte written survives an orderly stop and a kill.
TEST_P(SimState, ByteWrittenSurvivesARestart) {
    TempDir state;
    const unsigned address = kBlocks[20].primary + 5;
    SimOptions options;
    options.instruments = {"7"};
    options.stateDir = state.path();
    {
        SimProcess sim(options);
        ASSERT_TRUE(sim.started()) << sim.error();
        SimClient client(sim.linkPath(), 9600, 7);
        ASSERT_TRUE(client.opened);
        ASSERT_EQ(client.writeByte(address, 99).status, 0);
        if (GetParam().hardKill) {
            sim.kill();
        } else {
            EXPECT_EQ(sim.stop(), 0);
        }
    }
    EXPECT_EQ(ReadStateFile(state.path() + "/7.mem").at(address), 99);
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 7);
    ASSERT_TRUE(client.opened);
    const std::vector<uint8_t> back = client.readBytes(address);
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(back[0], 99);
}

INSTANTIATE_TEST_SUITE_P(Stops, SimState,
                         ::testing::Values(StopCase{"Terminated", false}, StopCase{"Killed", true}),
                         [](const auto& info) { return info.param.name; });

TEST(SimState, RestartKeepsANewNetworkNumber) {
    TempDir state;
    SimOptions options;
    options.instruments = {"7"};
    options.stateDir = state.path();
    {
        SimProcess sim(options);
        ASSERT_TRUE(sim.started()) << sim.error();
        SimClient client(sim.linkPath(), 9600, 7);
        ASSERT_TRUE(client.opened);
        ASSERT_TRUE(WriteBlockImage(client, 1, {8, 0, 5}));
        ASSERT_EQ(client.ask("3;", 1).status, 0);
    }
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 8);
    ASSERT_TRUE(client.opened);
    EXPECT_EQ(client.ask("0;", 1).status, 0);
    client.link.NetNumber = 7;
    EXPECT_EQ(client.ask("0;", 1).status, 9);
}

// Writes all of `bytes` to the client's side of the line, waiting while it is full.
bool WriteRaw(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return false;
        }
    }
    return true;
}

bool StillRunning(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

TEST(SimLine, NoiseAndTornFramesNeverStopIt) {
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const int fd = client.link.port.fd();

    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        const char c = static_cast<char>(x >> 24);
        noise += (c == ':' || static_cast<uint8_t>(c) == 0xFF) ? 'x' : c;
    }
    const std::vector<std::string> junk{
        noise,
        std::string(10000, '7'),            // 10 000 bytes without CR
        "\xff:" + std::string(10000, ';'),  // a frame start and 10 000 bytes without CR
        "\xff:5;211;41219;",                // a torn frame, then a new one below
        "\xff:5;0;1\r",                     // wrong CRC
        "\xff:5;0;\r",
        "\xff:\r",
        ":\r",
        "\xff\xff\xff",
        "\xff:99999999999999999999;0;1\r",  // numbers too long for any field
        "\xff:5;0;50730;\r",                // CRC text followed by junk
    };
    for (const std::string& j : junk) {
        ASSERT_TRUE(WriteRaw(fd, j));
        const Answer a = client.ask("0;", 1);
        EXPECT_EQ(a.status, 0) << "after " << j.size() << " bytes of junk";
        if (a.status == 0) {
            EXPECT_EQ(a.fields[0], "17");
        }
    }
    EXPECT_TRUE(StillRunning(sim.pid()));
    EXPECT_EQ(sim.stop(), 0);
}

// Whether this build, and with it the simulator, runs under AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
#define RV740X_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RV740X_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef RV740X_ADDRESS_SANITIZER
#define RV740X_ADDRESS_SANITIZER 0
#endif

// Resident memory of a process in kB, -1 when it cannot be read.
long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A client that keeps sending and never reads makes the replies wait; they must not pile up
// without bound in the simulator, and it answers normally once the line is read again.
TEST(SimLine, RepliesNobodyReadsDoNotPileUp) {
    constexpr int kRequests = 40000;
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const int fd = client.link.port.fd();
    const long before = ResidentKb(sim.pid());
    ASSERT_GT(before, 0);

    const std::string frame = BuildFrame(5, "211;41219;53;");
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += frame;
    for (int i = 0; i < kRequests / 1000; ++i) ASSERT_TRUE(WriteRaw(fd, burst));
    // The simulator has taken in the last of it once its log shows every request heard; how
    // long that takes depends on the machine and the build.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (LogLinesWith(sim.logPath(), "\"dir\":\"rx\"") < kRequests &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(LogLinesWith(sim.logPath(), "\"dir\":\"rx\""), kRequests);
#if RV740X_ADDRESS_SANITIZER
    // Under AddressSanitizer the resident size says nothing about what the simulator keeps:
    // the allocator holds every freed block back (256 MB of quarantine) to catch use after
    // free, so the 40 000 requests' short-lived strings alone grow it by some 300 MB. The
    // waiting replies are bounded by what comes out of the line below.
#else
    const long after = ResidentKb(sim.pid());
    EXPECT_LT(after - before, 16 * 1024) << "kB grown by 40 000 unread replies";
#endif

    // Drain what is waiting: the simulator's bounded queue and what the terminal holds, not
    // the 40 000 replies of some 240 bytes each. Then talk normally again.
    uint8_t buf[4096];
    size_t drained = 0;
    for (int quiet = 0; quiet < 5;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const ssize_t n = client.link.port.readAvailable(buf, sizeof buf);
        quiet = n > 0 ? 0 : quiet + 1;
        if (n > 0) drained += static_cast<size_t>(n);
    }
    EXPECT_LE(drained, size_t{256} * 1024) << "reply bytes waited for a client that did not read";
    const Answer a = client.ask("0;", 1);
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(a.fields[0], "17");
    EXPECT_TRUE(StillRunning(sim.pid()));
}

TEST(SimLine, BadCrcIsNotAnswered) {
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const int fd = client.link.port.fd();
    // The link's own frame with one digit of its CRC changed.
    std::string frame = BuildFrame(5, "0;");
    frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
    ASSERT_TRUE(WriteRaw(fd, frame));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    uint8_t buf[64];
    EXPECT_EQ(client.link.port.readAvailable(buf, sizeof buf), 0);
}

TEST(SimLineTiming, IdleCostsNoProcessorTime) {
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    auto cpuTicks = [&]() {
        std::ifstream in("/proc/" + std::to_string(sim.pid()) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && in >> field; ++i)
            if (i == 14 || i == 15) ticks += std::stol(field);
        return ticks;
    };
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const long before = cpuTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_LE(cpuTicks() - before, 2);
}

TEST(SimLineTiming, PacedRepliesTakeTheirWireTime) {
    SimOptions options;
    options.instruments = {"5,speed=19200"};
    options.pace = true;
    options.latencyMs = 5;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 19200, 5);
    ASSERT_TRUE(client.opened);
    const std::string command = "211;41219;53;";
    const auto start = std::chrono::steady_clock::now();
    const Answer a = client.ask(command, 53, std::chrono::seconds(2));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(a.status, 0);
    const size_t bytes = BuildFrame(5, command).size() + a.reply.size();
    const auto wire = std::chrono::microseconds(bytes * 10 * 1'000'000 / 19200);
    EXPECT_GE(elapsed, wire + std::chrono::milliseconds(5));
    EXPECT_LT(elapsed, 3 * wire + std::chrono::milliseconds(100));
}

TEST(SimLine, LogsEveryRequestAndReplyAsJsonLines) {
    SimProcess sim({"5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    ASSERT_EQ(client.ask("0;", 1).status, 0);
    client.link.NetNumber = 6;
    ASSERT_EQ(client.ask("198;", 1).status, 9);

    std::ifstream in(sim.logPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("\"dir\":\"rx\",\"net\":5,\"text\":\"0;\""), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"dir\":\"tx\",\"net\":5,\"text\":\"!5;17;3235\\r\""),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("\"dir\":\"rx\",\"net\":6,\"text\":\"198;\""), std::string::npos)
        << lines[2];
    double last = 0;
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
        ASSERT_EQ(line.back(), '}');
        const double t = std::stod(line.substr(5));
        EXPECT_GE(t, last);
        last = t;
    }
}

}  // namespace
}  // namespace rv::test
