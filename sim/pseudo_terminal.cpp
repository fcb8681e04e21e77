#include "pseudo_terminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace rv::sim {

PseudoTerminal::~PseudoTerminal() {
    removeLink();
    for (int fd : {watch_, slave_, master_})
        if (fd >= 0) ::close(fd);
}

namespace {

// Whether the symbolic link at `path` is the leftover of an earlier run: it names a
// pseudo-terminal's slave side, /dev/pts/N, that is gone or still a character device.
// `target` gets what the link points to.
bool isLinkToPseudoTerminal(const std::string& path, std::string& target) {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    if (n <= 0) return false;
    target.assign(buffer.data(), static_cast<size_t>(n));
    const std::string prefix = "/dev/pts/";
    if (target.size() <= prefix.size() || target.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < target.size(); ++i)
        if (target[i] < '0' || target[i] > '9') return false;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISCHR(st.st_mode);
}

}  // namespace

bool PseudoTerminal::open(const std::string& linkPath, std::string& error) {
    auto fail = [&](const std::string& what) {
        error = what + ": " + std::strerror(errno);
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("pseudo-terminal");
    const char* name = ::ptsname(master_);
    if (!name) return fail("ptsname");
    slaveName_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Holding the slave side open keeps the master free of hang-ups between clients, and
    // keeps the line settings a client made for the requests that follow.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail(slaveName_);
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");

    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        return fail("inotify");

    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + ": exists and is not a symbolic link; left as it is";
            return false;
        }
        std::string target;
        if (!isLinkToPseudoTerminal(linkPath, target)) {
            error = linkPath + ": a symbolic link to '" + target +
                    "', not to a pseudo-terminal; left as it is";
            return false;
        }
        if (::unlink(linkPath.c_str()) != 0) return fail(linkPath);
    }
    if (::symlink(name, linkPath.c_str()) != 0) return fail(linkPath);
    linkPath_ = linkPath;
    return true;
}

void PseudoTerminal::removeLink() {
    if (linkPath_.empty()) return;
    // Only our own link: another simulator may have taken the name over since.
    std::array<char, 256> target{};
    const ssize_t n = ::readlink(linkPath_.c_str(), target.data(), target.size() - 1);
    if (n > 0 && slaveName_ == std::string(target.data(), static_cast<size_t>(n)))
        ::unlink(linkPath_.c_str());
    linkPath_.clear();
}

void PseudoTerminal::clientClosed() {
    std::array<char, 4096> events{};
    while (::read(watch_, events.data(), events.size()) > 0) {
    }
    ::ioctl(slave_, TIOCNXCL);
}

unsigned PseudoTerminal::baud() const {
    termios tio{};
    // On Linux the master reports the settings the client made on the slave side.
    if (::tcgetattr(master_, &tio) != 0 && ::tcgetattr(slave_, &tio) != 0) return 0;
    static constexpr std::array<std::pair<speed_t, unsigned>, 7> kSpeeds{{
        {B300, 300},
        {B600, 600},
        {B1200, 1200},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
    }};
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [code, baud] : kSpeeds)
        if (code == speed) return baud;
    return 0;
}

}  // namespace rv::sim
