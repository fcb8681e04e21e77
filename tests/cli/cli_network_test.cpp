// rv740x on network lines: a malformed address is refused before anything is sent, the port
// list shows what each COM is, a raw line is searched at the gateway's speed alone, and a
// backup through ser2net compares equal to the instrument and to a backup over the terminal.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "case_name.h"
#include "gateway_harness.h"
#include "run_cli.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::Gateway;
using test::RunCli;
using test::SimProcess;
using test::TempDir;

struct Malformed {
    std::string name;
    std::string address;
    std::string problem;
};

class CliMalformedAddress : public testing::TestWithParam<Malformed> {};

// From the port option and from RV740X_COMn alike: the usage exit code, which no attempt to
// connect gives (a failed one exits 1), and the problem named.
TEST_P(CliMalformedAddress, IsRefusedBeforeAnythingIsSent) {
    const Malformed& m = GetParam();
    for (const bool fromEnvironment : {false, true}) {
        SCOPED_TRACE(fromEnvironment ? "RV740X_COM3" : "--port");
        const test::CliRun run = fromEnvironment ? RunCli({"--port", "COM3", "read", "1"}, {},
                                                          {{"RV740X_COM3", m.address}})
                                                 : RunCli({"--port", m.address, "read", "1"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "rv740x: неверный сетевой адрес «" + m.address + "»: " + m.problem +
                               " (нужно rfc2217://УЗЕЛ:ПОРТ или tcp://УЗЕЛ:ПОРТ)\n");
        EXPECT_EQ(run.out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliMalformedAddress,
    testing::Values(
        Malformed{"no port", "rfc2217://10.0.0.5", "не указан порт"},
        Malformed{"empty port", "tcp://10.0.0.5:", "не указан порт"},
        Malformed{"port 0", "tcp://gateway:0", "порт должен быть числом от 1 до 65535"},
        Malformed{"port 65536", "rfc2217://gateway:65536", "порт должен быть числом от 1 до 65535"},
        Malformed{"space", "tcp://gate way:4001", "в адресе есть пробелы или управляющие символы"},
        Malformed{"unknown scheme", "udp://10.0.0.5:4001", "неизвестная схема «udp»"},
        Malformed{"empty host", "rfc2217://:4001", "не указан узел"},
        Malformed{"empty IPv6 host", "tcp://[]:4001", "не указан узел"},
        Malformed{"IPv6 without brackets", "tcp://fe80::1:4001",
                  "адрес IPv6 пишется в квадратных скобках: [::1]"}),
    [](const auto& info) { return test::CaseName(info.param.name); });

TEST(CliNetwork, PortsShowsTheAddressOfEachCom) {
    TempDir home;
    std::filesystem::create_directories(home.path() + "/rv740x");
    std::ofstream(home.path() + "/rv740x/ports.conf")
        << "COM3=rfc2217://10.0.0.5:4001\nCOM4=tcp://[fe80::1]:4002\nCOM1=tcp://x\n";
    const test::CliRun run = RunCli({"ports"}, {},
                                    {{"XDG_CONFIG_HOME", home.path()},
                                     {"RV740X_COM2", "tcp://gateway.local:4003"},
                                     {"RV740X_COM1", ""},
                                     {"RV740X_COM3", ""},
                                     {"RV740X_COM4", ""}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("  COM2  tcp://gateway.local:4003  (переменная RV740X_COM2)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  COM3  rfc2217://10.0.0.5:4001  (файл настроек)\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("  COM4  tcp://[fe80::1]:4002  (файл настроек)\n"), std::string::npos);
    EXPECT_NE(run.err.find(":3: COM1: неверный сетевой адрес «tcp://x»: не указан порт"),
              std::string::npos)
        << run.err;
}

// The gateway fixes the raw line at 19200 baud: a search over all speeds says why it searches
// that speed alone, once, and finds only the instrument that speaks it.
TEST(CliNetwork, SearchOverRawLineSearchesTheGatewaysSpeedAlone) {
    SimProcess sim({"1,speed=2400", "2,speed=9600", "3,speed=19200"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Gateway gateway(sim.linkPath(), Gateway::Kind::RawTcp, 19200);
    ASSERT_TRUE(gateway.started()) << gateway.error();
    const test::CliRun run = RunCli({"--port", gateway.address(), "--speed", "19200", "search",
                                     "--all-speeds", "--to", "3", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "Скорость линии задаётся в настройках шлюза\n");
    EXPECT_EQ(run.out,
              "[\n  {\n    \"net\": 3,\n    \"baud\": 19200,\n    \"version\": \"2.07\"\n  }\n]\n");
}

// A backup through the gateway is the backup the terminal gives, and compares equal to the
// instrument through the gateway.
TEST(CliNetwork, BackupAndDiffThroughTheGateway) {
    SimProcess sim({"4,model=RV7406", "5"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string overTerminal = dir.path() + "/terminal";
    const std::string overGateway = dir.path() + "/gateway";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "backup", overTerminal, "--to", "5"}).exitCode, 0);
    Gateway gateway(sim.linkPath(), Gateway::Kind::Rfc2217);
    ASSERT_TRUE(gateway.started()) << gateway.error();
    const test::CliRun backup =
        RunCli({"--port", gateway.address(), "backup", overGateway, "--to", "5"});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;

    const auto withoutTime = [](const std::filesystem::path& file) {
        std::ifstream in(file);
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (line.find("\"savedAt\"") == std::string::npos) kept += line + "\n";
        return kept;
    };
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(overGateway))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(withoutTime(file), withoutTime(overTerminal / file.filename()));
        const std::string net = file.filename().string().rfind("RV7406_4_", 0) == 0 ? "4" : "5";
        const test::CliRun diff = RunCli({"--port", gateway.address(), "diff", net, file});
        EXPECT_EQ(diff.exitCode, 0) << diff.out << diff.err;
    }
}

}  // namespace
}  // namespace rv
