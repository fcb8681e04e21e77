// Opening and closing the serial port on real pseudo-terminals.

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/priority.h"
#include "link/serial_port.h"
#include "link/session.h"
#include "link/status.h"
#include "pty_peer.h"

namespace rv {
namespace {

using test::PtyPeer;
using namespace std::chrono_literals;

TEST(LinkPort, OpenFailures) {
    struct Case {
        const char* name;
        std::string device;
        uint32_t baud;
        int32_t status;
    };
    PtyPeer peer;
    char plain[] = "/tmp/rv740x-port-test-XXXXXX";
    const int plainFd = mkstemp(plain);
    ASSERT_GE(plainFd, 0);
    const std::vector<Case> cases = {
        {"missing device", "/dev/rv740x-no-such-port", 9600, status::kPortOpen},
        {"empty name", "", 9600, status::kPortOpen},
        {"directory", "/", 9600, status::kPortOpen},
        {"/dev/null is not a serial device", "/dev/null", 9600, status::kNoSuchPort},
        {"regular file", plain, 9600, status::kNoSuchPort},
        {"speed the line cannot take", peer.path(), 12345, status::kPortSetup},
        {"speed zero", peer.path(), 0, status::kPortSetup},
    };
    for (const Case& c : cases) {
        Link link;
        link.Device = c.device;
        link.BaudRate = c.baud;
        link.LinkStatus = 0;
        EXPECT_FALSE(link.OpenPort()) << c.name;
        EXPECT_EQ(link.LinkStatus, c.status) << c.name;
        EXPECT_FALSE(link.port.isOpen()) << c.name;
    }
    ::close(plainFd);
    unlink(plain);
    // A refused setup leaves the device free for the next open.
    Link link;
    link.Device = peer.path();
    EXPECT_TRUE(link.OpenPort());
}

TEST(LinkPort, HeldPortIsRefused) {
    PtyPeer peer;
    Link holder;
    holder.Device = peer.path();
    ASSERT_TRUE(holder.OpenPort());

    Link second;
    second.Device = peer.path();
    EXPECT_FALSE(second.OpenPort());
    EXPECT_EQ(second.LinkStatus, status::kPortOpen);
    EXPECT_FALSE(second.port.isOpen());

    // The refused open must not take the holder's exclusive mode away.
    int exclusive = 0;
    ASSERT_EQ(ioctl(peer.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    holder.ClosePort();
    ASSERT_EQ(ioctl(peer.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_TRUE(second.OpenPort());
}

TEST(LinkPort, PortHeldByAnotherProcess) {
    PtyPeer peer;
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Link holder;
        holder.Device = peer.path();
        const char ok = holder.OpenPort() ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        char c = 0;
        (void)!::read(release[0], &c, 1);
        holder.ClosePort();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    Link link;
    link.Device = peer.path();
    EXPECT_FALSE(link.OpenPort());
    EXPECT_EQ(link.LinkStatus, status::kPortOpen);
    EXPECT_FALSE(link.port.isOpen());

    ASSERT_EQ(::write(release[1], "x", 1), 1);
    int wstatus = 0;
    ASSERT_EQ(waitpid(child, &wstatus, 0), child);
    EXPECT_TRUE(link.OpenPort());
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(LinkPort, CloseIsSafeOnAClosedPort) {
    PtyPeer peer;
    Link link;
    link.ClosePort();
    EXPECT_FALSE(link.port.isOpen());
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    link.ClosePort();
    link.ClosePort();
    EXPECT_FALSE(link.port.isOpen());
    {
        const Session session(link, Session::Check::PortOnly);
        ASSERT_TRUE(session.ready());
        EXPECT_TRUE(link.port.isOpen());
    }
    EXPECT_FALSE(link.port.isOpen());
    // Closed means released: another open succeeds.
    Link other;
    other.Device = peer.path();
    EXPECT_TRUE(other.OpenPort());
}

TEST(LinkPort, LineSettingsAfterOpen) {
    struct Case {
        uint32_t baud;
        speed_t speed;
    };
    const std::vector<Case> cases = {{300, B300},   {600, B600},   {1200, B1200},  {2400, B2400},
                                     {4800, B4800}, {9600, B9600}, {19200, B19200}};
    PtyPeer peer;
    // Start from a cooked line with flow control, as another program might leave it.
    termios cooked{};
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &cooked), 0);
    cooked.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    cooked.c_iflag |= IXON | IXOFF | ICRNL;
    cooked.c_lflag |= ICANON | ECHO;
    cooked.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(tcsetattr(peer.slaveFd(), TCSANOW, &cooked), 0);
    for (const Case& c : cases) {
        Link link;
        link.Device = peer.path();
        link.BaudRate = c.baud;
        ASSERT_TRUE(link.OpenPort()) << c.baud;
        termios tio{};
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(cfgetispeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_NE(tio.c_cflag & CREAD, 0u);
        EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
}

TEST(LinkPort, ReadNeverWaitsAndEarlyDataIsDropped) {
    PtyPeer peer;
    peer.write("stale bytes before the open\r");
    std::this_thread::sleep_for(30ms);
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    uint8_t buffer[64];
    EXPECT_EQ(link.port.readAvailable(buffer, sizeof buffer), 0);

    // Bytes pass through unchanged, CR and NUL and 0xFF included.
    const std::string bytes("\r\n\0\xFF\x11\x13!", 7);
    peer.write(bytes);
    ASSERT_TRUE(link.port.waitReadable(500ms));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(link.port.readAvailable(buffer, sizeof buffer), long(bytes.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), bytes.size()), bytes);

    const uint8_t out[] = {'\n', '\r', 0, 0xFF};
    ASSERT_TRUE(link.port.writeAll(out, sizeof out));
    EXPECT_EQ(peer.drain(50ms), std::string("\n\r\0\xFF", 4));
}

// A read with nothing there comes back at once (label `timing`).
TEST(LinkPortTiming, ReadNeverWaits) {
    PtyPeer peer;
    Link link;
    link.Device = peer.path();
    ASSERT_TRUE(link.OpenPort());
    uint8_t buffer[64];
    const auto start = test::TestClock::now();
    EXPECT_EQ(link.port.readAvailable(buffer, sizeof buffer), 0);
    EXPECT_LT(test::TestClock::now() - start, 20ms);
}

TEST(LinkPriority, RaisedForTheScopeAndRestored) {
    const int before = getpriority(PRIO_PROCESS, 0);
    {
        RaisedPriority raised;
        const int inside = getpriority(PRIO_PROCESS, 0);
        EXPECT_LE(inside, before);
        {
            RaisedPriority again;
            EXPECT_LE(getpriority(PRIO_PROCESS, 0), inside);
        }
        EXPECT_EQ(getpriority(PRIO_PROCESS, 0), inside);
    }
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
}

}  // namespace
}  // namespace rv
