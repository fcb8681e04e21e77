// The Windows serial port on a line with an instrument (the simulator under Wine, the port
// named by RV740X_TEST_COM): the overlapped wait wakes for the reply's bytes and for the
// cancel signal from another thread, and otherwise sleeps until its time.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "link/cancel_signal.h"
#include "link/requests.h"
#include "link/serial_port.h"
#include "link/transact.h"

namespace rv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class WindowsSerialWait : public testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("RV740X_TEST_COM");
        if (name == nullptr) GTEST_SKIP() << "RV740X_TEST_COM names no port with an instrument";
        ASSERT_EQ(port.open(name, 9600), SerialPort::OpenResult::Ok) << name;
    }

    SerialPort port;
    CancelSignal cancel;
};

TEST_F(WindowsSerialWait, WakesForTheReplyAndReadsItWhole) {
    // Instrument 1 answers the identification with its family, 17.
    const std::string frame = BuildFrame(1, request::Identify());
    ASSERT_TRUE(port.writeAll(reinterpret_cast<const uint8_t*>(frame.data()), frame.size()));
    std::string reply;
    const auto giveUp = Clock::now() + milliseconds(3000);
    while (reply.empty() || reply.back() != '\r') {
        const SerialPort::Wake woke = port.wait(giveUp, true, cancel);
        ASSERT_EQ(woke, SerialPort::Wake::Line) << "after " << reply.size() << " bytes";
        std::array<uint8_t, 64> piece{};
        const long n = port.readAvailable(piece.data(), piece.size());
        ASSERT_GE(n, 0);
        reply.append(reinterpret_cast<const char*>(piece.data()), static_cast<size_t>(n));
    }
    EXPECT_EQ(reply, "!1;17;52306\r");
}

TEST_F(WindowsSerialWait, SleepsToItsTimeOnAQuietLineAndWakesForCancel) {
    auto start = Clock::now();
    EXPECT_EQ(port.wait(start + milliseconds(200), true, cancel), SerialPort::Wake::Timeout);
    EXPECT_GE(Clock::now() - start, milliseconds(200));

    // Cancelled from another thread while the line's wait is pending: ends long before its
    // time; the same for the plain sleep.
    for (const bool watchLine : {true, false}) {
        cancel.clear();
        start = Clock::now();
        std::thread canceller([this] {
            std::this_thread::sleep_for(milliseconds(100));
            cancel.request();
        });
        const SerialPort::Wake woke = port.wait(start + milliseconds(10000), watchLine, cancel);
        canceller.join();
        EXPECT_EQ(woke, SerialPort::Wake::Cancel) << watchLine;
        EXPECT_LT(Clock::now() - start, milliseconds(5000)) << watchLine;
    }
    // A request already made ends the next wait at once.
    EXPECT_EQ(port.wait(Clock::now() + milliseconds(10000), true, cancel),
              SerialPort::Wake::Cancel);
}

}  // namespace
}  // namespace rv
