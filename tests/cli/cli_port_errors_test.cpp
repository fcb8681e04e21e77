// Why a port did not open, as rv740x tells it, on real devices: a path that does not exist,
// a pseudo-terminal without permission, and one held by another program.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "port_holder.h"
#include "pty_peer.h"

namespace rv::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A search of one number on `path`: the port is opened first, so its failure is all there is.
CliRun SearchOn(const std::string& path, const std::function<void()>& inChild = {}) {
    return RunCli({"--port", path, "search", "--from", "1", "--to", "1"}, {}, {}, inChild);
}

// Runs the program as the unprivileged user "nobody" when the test runs as root (root opens
// any device whatever its mode).
void DropToNobody() {
    if (::geteuid() != 0) return;
    constexpr gid_t kNogroup = 65534;
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0) {
        ::_exit(126);
    }
}

void ExpectDetail(const CliRun& run, const std::vector<std::string>& detail) {
    std::vector<std::string> expected{"Нельзя открыть   COM-порт"};
    expected.insert(expected.end(), detail.begin(), detail.end());
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_EQ(Lines(run.err), expected) << Describe(run);
}

// Every command that opens the line says the same: the device and the cause; given by its
// COM name, the port's name first.
TEST(CliPortErrors, MissingDeviceIsNamedWithItsPath) {
    TempDir dir;
    const std::string path = dir.path() + "/ttyUSB0";
    const std::vector<std::string> detail{"Устройство: " + path, "Причина: устройство не найдено"};
    ExpectDetail(SearchOn(path), detail);
    ExpectDetail(RunCli({"--port", path, "measure", "1", "--channel", "1"}), detail);
    ExpectDetail(RunCli({"--port", path, "read", "1"}), detail);
    std::vector<std::string> named{"Порт: COM3"};
    named.insert(named.end(), detail.begin(), detail.end());
    ExpectDetail(
        RunCli({"--port", "COM3", "measure", "1", "--channel", "1"}, {}, {{"RV740X_COM3", path}}),
        named);
}

TEST(CliPortErrors, DeviceWithoutPermissionTellsHowToGetIt) {
    PtyPeer peer;
    ASSERT_EQ(::chmod(peer.path().c_str(), 0), 0);
    const CliRun run = SearchOn(peer.path(), DropToNobody);
    if (run.exitCode == 126 && run.err.empty()) {
        GTEST_SKIP() << "the program cannot be started as user nobody here";
    }
    ExpectDetail(run, {"Устройство: " + peer.path(),
                       "Причина: нет прав доступа (добавьте себя в группу dialout и войдите "
                       "заново)"});
}

TEST(CliPortErrors, HeldDeviceNamesTheProgramHoldingIt) {
    PtyPeer peer;
    const PortHolder holder(peer.path());
    ASSERT_TRUE(holder.held());
    ExpectDetail(SearchOn(peer.path()),
                 {"Устройство: " + peer.path(), "Причина: порт занят другой программой",
                  "Программа: flock (PID " + std::to_string(holder.pid()) + ")"});
}

}  // namespace
}  // namespace rv::test
