// A line through a gateway that speaks Telnet with COM-PORT-OPTION: the client sets the
// gateway's port to the speed asked for, 8N1 without flow control, RTS on and DTR off, and
// purges the gateway's buffer (PURGE-DATA) where a local port would drop what it received.

#include <memory>

#include "link/cancel_signal.h"
#include "link/network_line.h"
#include "link/telnet_client.h"

namespace rv {

namespace {

using namespace telnet;
using Failure = SerialPort::OpenFailure;
using Result = SerialPort::OpenResult;

// How long the gateway may take to agree to the option and to confirm the speed.
constexpr std::chrono::seconds kNegotiationTime{3};

std::string bigEndian32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string oneByte(uint8_t value) { return std::string(1, static_cast<char>(value)); }

class Rfc2217Line final : public NetworkLine {
  public:
    explicit Rfc2217Line(uint32_t baud) : NetworkLine(baud) {}

    Result open(const NetworkAddress& address, const CancelSignal* cancel,
                SerialPort::OpenError& error);

  protected:
    void encode(const uint8_t* data, size_t size, std::string& out) override {
        client_.encode(data, size, out);
    }
    void decode(const uint8_t* in, size_t size, std::string& data, std::string& reply) override {
        client_.receive(in, size, data, reply);
    }
    std::string purge() override {
        return TelnetClient::comPortCommand(kPurgeData, oneByte(kPurgeReceived));
    }

  private:
    // Takes in what arrives until `done` says so or `until` passes. Ok when done; otherwise
    // `error` says why, with `onTimeout` as the cause when the time ran out.
    template <typename Done>
    Result awaitGateway(Clock::time_point until, const CancelSignal* cancel, Failure onTimeout,
                        SerialPort::OpenError& error, Done done);

    TelnetClient client_;
};

template <typename Done>
Result Rfc2217Line::awaitGateway(Clock::time_point until, const CancelSignal* cancel,
                                 Failure onTimeout, SerialPort::OpenError& error, Done done) {
    while (!done()) {
        Wake woke = Wake::Timeout;
        if (receiveUntil(until, cancel, woke, error)) continue;
        if (woke == Wake::Line) return Result::CannotOpen;  // the connection ended
        error = {};
        error.cause = woke == Wake::Cancel ? Failure::Cancelled : onTimeout;
        error.baud = baud();
        return woke == Wake::Cancel ? Result::CannotOpen : Result::SetupFailed;
    }
    return Result::Ok;
}

Result Rfc2217Line::open(const NetworkAddress& address, const CancelSignal* cancel,
                         SerialPort::OpenError& error) {
    if (!connect(address, cancel, error)) return Result::CannotOpen;
    if (!sendNow(client_.start())) {
        error = fault();
        return Result::CannotOpen;
    }
    Result result =
        awaitGateway(Clock::now() + kNegotiationTime, cancel, Failure::NotComPortControl, error,
                     [this] { return client_.comPort() != TelnetClient::Agreement::Pending; });
    if (result != Result::Ok) return result;
    if (client_.comPort() == TelnetClient::Agreement::Refused) {
        error = {};
        error.cause = Failure::NotComPortControl;
        return Result::SetupFailed;
    }

    // 8N1 at the speed, no flow control; RTS on and DTR off as on a local port. Only the speed
    // is waited for: a gateway may leave the modem lines alone without a word.
    client_.forgetReportedSpeed();
    const std::string settings =
        TelnetClient::comPortCommand(kSetBaudRate, bigEndian32(baud())) +
        TelnetClient::comPortCommand(kSetDataSize, oneByte(8)) +
        TelnetClient::comPortCommand(kSetParity, oneByte(kParityNone)) +
        TelnetClient::comPortCommand(kSetStopSize, oneByte(kOneStopBit)) +
        TelnetClient::comPortCommand(kSetControl, oneByte(kNoFlowControl)) +
        TelnetClient::comPortCommand(kSetControl, oneByte(kRtsOn)) +
        TelnetClient::comPortCommand(kSetControl, oneByte(kDtrOff));
    const auto asked = Clock::now();
    if (!sendNow(settings)) {
        error = fault();
        return Result::CannotOpen;
    }
    result = awaitGateway(asked + kNegotiationTime, cancel, Failure::SpeedUnconfirmed, error,
                          [this] { return client_.reportedSpeed().has_value(); });
    if (result != Result::Ok) return result;
    measuredRoundTrip(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked));
    if (*client_.reportedSpeed() != baud()) {
        error = {};
        error.cause = Failure::SpeedRefused;
        error.baud = baud();
        return Result::SetupFailed;
    }
    discardInput();
    return Result::Ok;
}

}  // namespace

std::unique_ptr<LineTransport> OpenRfc2217Line(const NetworkAddress& address, uint32_t baud,
                                               const CancelSignal* cancel,
                                               SerialPort::OpenResult& result,
                                               SerialPort::OpenError& error) {
    auto line = std::make_unique<Rfc2217Line>(baud);
    result = line->open(address, cancel, error);
    if (result != Result::Ok) return nullptr;
    return line;
}

}  // namespace rv
