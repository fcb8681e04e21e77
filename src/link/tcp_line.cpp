// A raw line through a gateway: the line's bytes travel unchanged over one TCP connection, and
// the gateway's own settings fix the speed and framing.

#include <algorithm>
#include <memory>

#include "link/network_line.h"

namespace rv {

namespace {

using Result = SerialPort::OpenResult;

// A gateway that serves another client says so at once and closes the connection; a
// connection is taken once it has stayed open this long, and twice the time it took to be
// accepted.
constexpr std::chrono::milliseconds kSettleTime{20};
constexpr std::chrono::milliseconds kMaxSettleTime{300};

class RawTcpLine final : public NetworkLine {
  public:
    explicit RawTcpLine(uint32_t baud) : NetworkLine(baud) {}

    Result open(const NetworkAddress& address, const CancelSignal* cancel,
                SerialPort::OpenError& error) {
        if (!connect(address, cancel, error)) return Result::CannotOpen;
        measuredRoundTrip(connectTime());
        const auto settle =
            std::min<std::chrono::microseconds>(kSettleTime + 2 * connectTime(), kMaxSettleTime);
        const auto until = Clock::now() + settle;
        Wake woke = Wake::Line;
        while (woke == Wake::Line) {
            if (!receiveUntil(until, cancel, woke, error) && woke == Wake::Line)
                return Result::CannotOpen;
        }
        if (woke == Wake::Cancel) {
            error = {};
            error.cause = SerialPort::OpenFailure::Cancelled;
            return Result::CannotOpen;
        }
        discardInput();
        return Result::Ok;
    }

  protected:
    void encode(const uint8_t* data, size_t size, std::string& out) override {
        out.append(reinterpret_cast<const char*>(data), size);
    }
    void decode(const uint8_t* in, size_t size, std::string& data, std::string&) override {
        data.append(reinterpret_cast<const char*>(in), size);
    }
};

}  // namespace

std::unique_ptr<LineTransport> OpenRawTcpLine(const NetworkAddress& address, uint32_t baud,
                                              const CancelSignal* cancel,
                                              SerialPort::OpenResult& result,
                                              SerialPort::OpenError& error) {
    auto line = std::make_unique<RawTcpLine>(baud);
    result = line->open(address, cancel, error);
    if (result != Result::Ok) return nullptr;
    return line;
}

}  // namespace rv
