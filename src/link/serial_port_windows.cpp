// The serial port on Windows: kernel32 with overlapped I/O, so that a wait for the line sleeps
// on the port's event and the cancel event together.
#include <windows.h>

#include <algorithm>
#include <array>

#include "link/cancel_signal.h"
#include "link/device_port.h"

namespace rv {

namespace {

using Clock = std::chrono::steady_clock;

HANDLE asHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Whole milliseconds until `until`, rounded up, so a wait never ends early.
DWORD millisecondsUntil(Clock::time_point until) {
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

// 8N1 at the speed, binary, no parity check, no flow control of any kind; DTR held off and
// RTS on by the driver from the start, so the line is not toggled by the settings.
DCB lineSettings(uint32_t baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // Unused without XON/XOFF, but drivers refuse equal characters.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 64;
    dcb.XoffLim = 64;
    return dcb;
}

bool speedSupported(uint32_t baud) {
    static constexpr std::array<uint32_t, 10> kSpeeds = {300,  600,   1200,  2400,  4800,
                                                         9600, 19200, 38400, 57600, 115200};
    return std::find(kSpeeds.begin(), kSpeeds.end(), baud) != kSpeeds.end();
}

}  // namespace

// The cancel signal wakes a wait through a manual-reset event.
CancelSignal::CancelSignal()
    : handle_(reinterpret_cast<intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

CancelSignal::~CancelSignal() {
    if (handle_ != 0) CloseHandle(asHandle(handle_));
}

void CancelSignal::request() {
    requested_.store(true, std::memory_order_release);
    if (handle_ != 0) SetEvent(asHandle(handle_));
}

void CancelSignal::clear() {
    requested_.store(false, std::memory_order_release);
    if (handle_ != 0) ResetEvent(asHandle(handle_));
}

// The overlapped state of a port: one event per kind of I/O. A wait for the line is a
// WaitCommEvent(EV_RXCHAR) that may stay pending from one wait to the next; its OVERLAPPED and
// mask live here for as long as it does.
struct DevicePort::Native {
    HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE lineEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED lineWait{};
    DWORD lineMask = 0;
    bool linePending = false;

    Native() = default;
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;
    ~Native() {
        for (HANDLE event : {readEvent, writeEvent, lineEvent})
            if (event != nullptr) CloseHandle(event);
    }
};

DevicePort::DevicePort() : native_(std::make_unique<Native>()) {}

DevicePort::~DevicePort() { close(); }

bool SerialPort::isPseudoTerminal(int) { return false; }

DevicePort::OpenResult DevicePort::open(const std::string& path, uint32_t baud) {
    close();
    // Exclusive: no sharing, so a port another program holds is refused.
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A port that another program has open is refused as "access denied".
        const DWORD code = GetLastError();
        openError_ = {};
        openError_.systemCode = static_cast<int>(code);
        switch (code) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                openError_.cause = OpenFailure::NotFound;
                break;
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                openError_.cause = OpenFailure::HeldByAnother;
                break;
            default:
                openError_.cause = OpenFailure::Other;
        }
        return OpenResult::CannotOpen;
    }
    if (GetFileType(h) != FILE_TYPE_CHAR) {
        CloseHandle(h);
        return OpenResult::NotCharDevice;
    }
    DCB dcb = lineSettings(baud);
    // Reads return at once with what has arrived; writes have no time-out of the driver's
    // (writeAll keeps its own).
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    const bool ok = speedSupported(baud) && SetupComm(h, 300, 300) && SetCommState(h, &dcb) &&
                    SetCommTimeouts(h, &timeouts) && EscapeCommFunction(h, SETRTS) &&
                    EscapeCommFunction(h, CLRDTR) && EscapeCommFunction(h, CLRBREAK) &&
                    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR) &&
                    SetCommMask(h, EV_RXCHAR);
    if (!ok || native_->readEvent == nullptr || native_->writeEvent == nullptr ||
        native_->lineEvent == nullptr) {
        CloseHandle(h);
        return OpenResult::SetupFailed;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    baud_ = baud;
    return OpenResult::Ok;
}

void DevicePort::close() {
    if (!isOpen()) return;
    const HANDLE h = asHandle(handle_);
    if (native_->linePending) {
        // A mask of nothing ends the pending wait; it must end before its OVERLAPPED goes.
        SetCommMask(h, 0);
        DWORD ignored = 0;
        GetOverlappedResult(h, &native_->lineWait, &ignored, TRUE);
        native_->linePending = false;
    }
    CloseHandle(h);
    handle_ = kNoHandle;
}

void DevicePort::discardInput() {
    if (isOpen()) PurgeComm(asHandle(handle_), PURGE_RXCLEAR);
}

bool DevicePort::writeAll(const uint8_t* data, size_t size) {
    if (!isOpen()) return false;
    const HANDLE h = asHandle(handle_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(100 + 50 * size);
    size_t done = 0;
    while (done < size) {
        OVERLAPPED request{};
        request.hEvent = native_->writeEvent;
        ResetEvent(request.hEvent);
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<size_t>(size - done, 0x10000));
        if (!WriteFile(h, data + done, chunk, &written, &request)) {
            if (GetLastError() != ERROR_IO_PENDING) return false;
            // The write completes when the driver has sent the bytes: the reply's time-out
            // runs from then.
            if (WaitForSingleObject(request.hEvent, millisecondsUntil(deadline)) != WAIT_OBJECT_0) {
                CancelIo(h);
                GetOverlappedResult(h, &request, &written, TRUE);
                return false;
            }
            if (!GetOverlappedResult(h, &request, &written, FALSE)) return false;
        }
        done += written;
        if (written == 0 && Clock::now() >= deadline) return false;
    }
    return true;
}

long DevicePort::readAvailable(uint8_t* buffer, size_t max) {
    if (!isOpen()) return -1;
    const HANDLE h = asHandle(handle_);
    OVERLAPPED request{};
    request.hEvent = native_->readEvent;
    ResetEvent(request.hEvent);
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<size_t>(max, 0x10000));
    if (!ReadFile(h, buffer, want, &got, &request)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        // With reads returning at once this completes straight away.
        if (!GetOverlappedResult(h, &request, &got, TRUE)) return -1;
    }
    return static_cast<long>(got);
}

DevicePort::Wake DevicePort::wait(Clock::time_point until, bool watchLine,
                                  const CancelSignal& cancel) {
    const HANDLE cancelEvent = asHandle(cancel.waitHandle());
    if (cancel.requested()) return Wake::Cancel;
    if (!watchLine || !isOpen()) {
        return WaitForSingleObject(cancelEvent, millisecondsUntil(until)) == WAIT_OBJECT_0
                   ? Wake::Cancel
                   : Wake::Timeout;
    }
    const HANDLE h = asHandle(handle_);
    Native& n = *native_;
    if (!n.linePending) {
        n.lineWait = OVERLAPPED{};
        n.lineWait.hEvent = n.lineEvent;
        ResetEvent(n.lineEvent);
        n.lineMask = 0;
        // Completes at once when a byte came since the last wait ended; a byte already read
        // then costs one empty read, never a lost wake-up.
        if (WaitCommEvent(h, &n.lineMask, &n.lineWait)) return Wake::Line;
        // A refused wait (the device gone) is for the read to report.
        if (GetLastError() != ERROR_IO_PENDING) return Wake::Line;
        n.linePending = true;
    }
    const std::array<HANDLE, 2> events = {n.lineEvent, cancelEvent};
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(),
                                              FALSE, millisecondsUntil(until));
    if (woke == WAIT_OBJECT_0) {
        DWORD ignored = 0;
        GetOverlappedResult(h, &n.lineWait, &ignored, FALSE);
        n.linePending = false;
        return Wake::Line;
    }
    if (woke == WAIT_OBJECT_0 + 1) return Wake::Cancel;
    if (woke == WAIT_FAILED) return Wake::Line;
    return Wake::Timeout;
}

bool DevicePort::waitReadable(std::chrono::microseconds atMost) {
    static const CancelSignal never;
    return wait(Clock::now() + atMost, true, never) == Wake::Line;
}

}  // namespace rv
