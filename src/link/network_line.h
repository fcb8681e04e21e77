#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "link/line_transport.h"
#include "link/socket.h"

namespace rv {

// What every network line shares: the connection to the gateway, the line's bytes taken out of
// what arrives and put into what leaves by the transport's own coding, the round trip measured
// from the replies, and the cause when the connection fails. The transports (rfc2217_line.cpp,
// tcp_line.cpp) add how they open and code.
class NetworkLine : public LineTransport {
  public:
    using Wake = SerialPort::Wake;

    // The longest a connection may take to be accepted.
    static constexpr std::chrono::seconds kConnectTime{5};
    // The round trip counted at most, however slow the replies.
    static constexpr std::chrono::seconds kMaxRoundTrip{2};
    // How long a gateway may gather the line's bytes beyond their time on its line and still be
    // taken as passing them on as they come. One that gathers longer (ser2net as installed, up
    // to 20 ms) wakes the wait for each piece: reading each piece at once has the system
    // acknowledge it at once, which such a gateway waits for before the next.
    static constexpr std::chrono::milliseconds kPieceTime{8};

    void discardInput() override;
    bool writeAll(const uint8_t* data, size_t size) override;
    long readAvailable(uint8_t* buffer, size_t max) override;
    bool waitReadable(std::chrono::microseconds atMost) override;
    Wake wait(Clock::time_point until, bool watchLine, const CancelSignal& cancel) override;
    std::chrono::microseconds replyDelay() const override;
    size_t piecedBytes() const override;
    const SerialPort::OpenError& fault() const override { return fault_; }

  protected:
    explicit NetworkLine(uint32_t baud) : baud_(baud) {}

    // Connects to the gateway; false with `error` saying why. The time it took is the first
    // measure of the round trip.
    bool connect(const NetworkAddress& address, const CancelSignal* cancel,
                 SerialPort::OpenError& error);
    // Sleeps until bytes arrive, then takes them in. False when the connection ended (fault()
    // says why; it is copied to `error`), the time passed or a cancel came (`woke` says).
    bool receiveUntil(Clock::time_point until, const CancelSignal* cancel, Wake& woke,
                      SerialPort::OpenError& error);
    // Sends the transport's own bytes at once.
    bool sendNow(const std::string& bytes);
    // One measure of the round trip: a slower one counts at once, a faster one bit by bit.
    void measuredRoundTrip(std::chrono::microseconds sample);
    std::chrono::microseconds connectTime() const { return connectTime_; }
    uint32_t baud() const { return baud_; }

    // The line's bytes as they go on the connection.
    virtual void encode(const uint8_t* data, size_t size, std::string& out) = 0;
    // Bytes off the connection: the line's go to `data`, what must be answered at once to
    // `reply`.
    virtual void decode(const uint8_t* in, size_t size, std::string& data, std::string& reply) = 0;
    // What tells the gateway to drop what it holds of the line's bytes, empty when the
    // transport cannot; only asked when it may hold some.
    virtual std::string purge() { return {}; }

  private:
    // Takes in what has arrived: the count of bytes off the connection, 0 for none, -1 once
    // the connection has ended.
    long takeIn();
    void connectionEnded();
    std::chrono::microseconds wireTime(size_t bytes) const;

    TcpSocket socket_;
    uint32_t baud_;
    std::string received_;  // the line's bytes not yet read
    std::string greeting_;  // the first of the line's bytes on this connection
    Clock::time_point sentAt_{};
    size_t sentBytes_ = 0;
    bool awaitingReply_ = false;
    bool answered_ = false;  // bytes came after the last request
    bool fresh_ = true;      // no request has gone on this connection yet
    bool measured_ = false;
    std::chrono::microseconds roundTrip_{};
    std::chrono::microseconds connectTime_{};
    SerialPort::OpenError fault_;
};

}  // namespace rv
