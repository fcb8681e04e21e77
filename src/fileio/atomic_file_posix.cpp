#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileio/atomic_file.h"

namespace rv {

bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = {AtomicWriteError::Step::CreateTemporary, std::strerror(errno)};
        return false;
    }
    bool written = fchmod(fd, 0644) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    int savedErrno = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        savedErrno = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        savedErrno = errno;
    }
    if (!written) {
        // A failure without errno (a write that took nothing) still names a reason.
        error = {AtomicWriteError::Step::Write, std::strerror(savedErrno != 0 ? savedErrno : EIO)};
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rv
