#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/line_transport.h"

namespace rv {

// The operating system's serial device, opened exclusively in raw 8N1 without flow control.
// One implementation per platform (termios, kernel32); nothing else knows either.
class DevicePort final : public LineTransport {
  public:
    using OpenResult = SerialPort::OpenResult;
    using OpenFailure = SerialPort::OpenFailure;
    using OpenError = SerialPort::OpenError;
    using Wake = SerialPort::Wake;

    DevicePort();
    ~DevicePort() override;

    // Opens and configures the device; on any failure no device is held and lastOpenError()
    // says why.
    OpenResult open(const std::string& path, uint32_t baud);
    const OpenError& lastOpenError() const { return openError_; }
    void close();
    bool isOpen() const { return handle_ != kNoHandle; }
    int descriptor() const override { return static_cast<int>(handle_); }
    int fd() const { return descriptor(); }

    void discardInput() override;
    bool writeAll(const uint8_t* data, size_t size) override;
    long readAvailable(uint8_t* buffer, size_t max) override;
    bool waitReadable(std::chrono::microseconds atMost) override;
    Wake wait(Clock::time_point until, bool watchLine, const CancelSignal& cancel) override;

  private:
    static constexpr intptr_t kNoHandle = -1;
    struct Native;  // the platform's own state, e.g. the overlapped I/O of a wait

    OpenResult fail(intptr_t handle, OpenResult result, int systemCode, const std::string& path);

    intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
    uint32_t baud_ = 0;
    std::unique_ptr<Native> native_;
    OpenError openError_;
};

}  // namespace rv
