#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/cancel_signal.h"
#include "link/device_port.h"

namespace rv {

namespace {

using Clock = std::chrono::steady_clock;

bool speedConstant(uint32_t baud, speed_t& out) {
    switch (baud) {
        case 300:
            out = B300;
            return true;
        case 600:
            out = B600;
            return true;
        case 1200:
            out = B1200;
            return true;
        case 2400:
            out = B2400;
            return true;
        case 4800:
            out = B4800;
            return true;
        case 9600:
            out = B9600;
            return true;
        case 19200:
            out = B19200;
            return true;
        case 38400:
            out = B38400;
            return true;
        case 57600:
            out = B57600;
            return true;
        case 115200:
            out = B115200;
            return true;
        default:
            return false;
    }
}

bool configure(int fd, uint32_t baud) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_iflag |= IGNBRK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed{};
    if (!speedConstant(baud, speed)) return false;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// RTS on, DTR off, no break.
bool setModemLines(int fd) {
    int rts = TIOCM_RTS;
    int dtr = TIOCM_DTR;
    return ioctl(fd, TIOCMBIS, &rts) == 0 && ioctl(fd, TIOCMBIC, &dtr) == 0 &&
           ioctl(fd, TIOCCBRK) == 0;
}

// Sleeps until `until` or until one of the descriptors can be read; the readable ones keep
// their revents.
void pollUntil(pollfd* fds, nfds_t count, Clock::time_point until) {
    const auto left = std::max(Clock::duration::zero(), until - Clock::now());
    const auto nanoseconds = std::chrono::ceil<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(nanoseconds / 1'000'000'000),
                           static_cast<long>(nanoseconds % 1'000'000'000)};
    if (ppoll(fds, count, &timeout, nullptr) <= 0) {
        for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
    }
}

SerialPort::OpenFailure failureOfErrno(int code) {
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return SerialPort::OpenFailure::NotFound;
        case EACCES:
        case EPERM:
            return SerialPort::OpenFailure::NoPermission;
        case EBUSY:
        case EWOULDBLOCK:
            return SerialPort::OpenFailure::HeldByAnother;
        default:
            return SerialPort::OpenFailure::Other;
    }
}

std::string processName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return (name.empty() ? std::string("?") : name) + " (PID " + pid + ")";
}

// The process that holds the lock on the device file, from /proc/locks ("1: FLOCK ADVISORY
// WRITE pid maj:min:inode ...", major and minor in hex; waiters are marked "->").
std::string lockHolderOf(const struct stat& file) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos) continue;
        std::istringstream fields(line);
        std::string id, kind, mode, access, pid, where;
        if (!(fields >> id >> kind >> mode >> access >> pid >> where)) continue;
        unsigned lockMajor = 0;
        unsigned lockMinor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &lockMajor, &lockMinor, &inode) != 3) continue;
        if (lockMajor == major(file.st_dev) && lockMinor == minor(file.st_dev) &&
            inode == file.st_ino)
            return processName(pid);
    }
    return {};
}

// The first other process with the device open.
std::string openerOf(const struct stat& device) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {};
    const std::string self = std::to_string(getpid());
    std::string found;
    while (found.empty()) {
        const dirent* entry = readdir(proc);
        if (entry == nullptr) break;
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        while (const dirent* fd = readdir(fds)) {
            struct stat target {};
            if (fd->d_name[0] == '.' || ::stat((fdDir + "/" + fd->d_name).c_str(), &target) != 0)
                continue;
            if (S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev) {
                found = processName(pid);
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

// Who keeps the device from us, as "name (PID n)": the holder of its lock, else the first
// other process that has it open. Empty when /proc does not tell (an ordinary user does not
// see other users' processes).
std::string holderOf(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return {};
    const std::string locker = lockHolderOf(device);
    return locker.empty() ? openerOf(device) : locker;
}

}  // namespace

CancelSignal::CancelSignal() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void CancelSignal::request() {
    requested_.store(true, std::memory_order_release);
    const uint64_t one = 1;
    if (handle_ >= 0) (void)!::write(static_cast<int>(handle_), &one, sizeof one);
}

void CancelSignal::clear() {
    requested_.store(false, std::memory_order_release);
    uint64_t count = 0;
    if (handle_ >= 0) (void)!::read(static_cast<int>(handle_), &count, sizeof count);
}

struct DevicePort::Native {};

DevicePort::DevicePort() = default;

DevicePort::~DevicePort() { close(); }

bool SerialPort::isPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned majorNumber = major(st.st_rdev);
    // Unix98 pty slaves use majors 136..143, the old BSD slaves major 3.
    return (majorNumber >= 136 && majorNumber <= 143) || majorNumber == 3;
}

DevicePort::OpenResult DevicePort::fail(intptr_t handle, OpenResult result, int systemCode,
                                        const std::string& path) {
    if (handle >= 0) ::close(static_cast<int>(handle));
    openError_.cause = failureOfErrno(systemCode);
    openError_.systemCode = systemCode;
    if (openError_.cause == OpenFailure::HeldByAnother) openError_.holder = holderOf(path);
    return result;
}

DevicePort::OpenResult DevicePort::open(const std::string& path, uint32_t baud) {
    close();
    openError_ = {};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(-1, OpenResult::CannotOpen, errno, path);
    if (!isatty(fd)) return fail(fd, OpenResult::NotCharDevice, ENOTTY, path);
    // Another program holding the port keeps it, as with an exclusive open on other systems.
    // The lock comes first: the exclusive mode belongs to the terminal, not to this
    // descriptor, so an open that is refused must leave the holder's mode alone.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(fd, OpenResult::CannotOpen, errno, path);
    if (ioctl(fd, TIOCEXCL) != 0) return fail(fd, OpenResult::CannotOpen, errno, path);
    const bool ok = configure(fd, baud) && (SerialPort::isPseudoTerminal(fd) || setModemLines(fd));
    if (!ok) {
        const int code = errno;
        ioctl(fd, TIOCNXCL);
        return fail(fd, OpenResult::SetupFailed, code, path);
    }
    handle_ = fd;
    baud_ = baud;
    discardInput();
    return OpenResult::Ok;
}

void DevicePort::close() {
    if (!isOpen()) return;
    ioctl(fd(), TIOCNXCL);
    flock(fd(), LOCK_UN);
    ::close(fd());
    handle_ = kNoHandle;
}

void DevicePort::discardInput() {
    if (isOpen()) tcflush(fd(), TCIFLUSH);
}

bool DevicePort::writeAll(const uint8_t* data, size_t size) {
    if (!isOpen()) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(100 + 50 * size);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd(), data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd(), POLLOUT, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    // The reply time-out runs from the moment the request has left the wire.
    for (;;) {
        int queued = 0;
        if (ioctl(fd(), TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
        if (Clock::now() >= deadline) return false;
        // The queued bytes cannot leave sooner than their wire time.
        const long byteMicros = 10'000'000L / static_cast<long>(baud_ == 0 ? 9600 : baud_);
        std::this_thread::sleep_for(std::chrono::microseconds(std::max(500L, queued * byteMicros)));
    }
}

long DevicePort::readAvailable(uint8_t* buffer, size_t max) {
    if (!isOpen()) return -1;
    for (;;) {
        const ssize_t n = ::read(fd(), buffer, max);
        if (n == 0) {
            // A hung-up line (the device or the other end of a pseudo-terminal gone) reads
            // as empty for ever; only poll tells it from a quiet line.
            pollfd p{fd(), POLLIN, 0};
            if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return -1;
            }
            return 0;
        }
        if (n > 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

bool DevicePort::waitReadable(std::chrono::microseconds atMost) {
    if (!isOpen()) return false;
    const long ms = static_cast<long>((atMost.count() + 999) / 1000);
    pollfd p{fd(), POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(ms < 0 ? 0 : ms));
    return r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

DevicePort::Wake DevicePort::wait(Clock::time_point until, bool watchLine,
                                  const CancelSignal& cancel) {
    std::array<pollfd, 2> fds{};
    fds[0] = {watchLine ? fd() : -1, POLLIN, 0};  // poll passes over a negative descriptor
    fds[1] = {static_cast<int>(cancel.waitHandle()), POLLIN, 0};
    if (cancel.requested()) return Wake::Cancel;
    pollUntil(fds.data(), fds.size(), until);
    if (fds[1].revents != 0 || cancel.requested()) return Wake::Cancel;
    return fds[0].revents != 0 ? Wake::Line : Wake::Timeout;
}

}  // namespace rv
