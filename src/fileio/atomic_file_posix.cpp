#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileio/atomic_file.h"

namespace rv {

namespace {

// Puts `temporary` in `path`'s place; with Keep it fails with EEXIST when `path` exists.
bool moveInto(const std::string& temporary, const std::string& path, ExistingFile existing) {
    if (existing == ExistingFile::Replace) return std::rename(temporary.c_str(), path.c_str()) == 0;
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error,
                         ExistingFile existing) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = {AtomicWriteError::Step::CreateTemporary, std::strerror(errno), errno};
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
    if (written && !moveInto(temporary, path, existing)) {
        written = false;
        savedErrno = errno;
    }
    if (!written) {
        // A failure without errno (a write that took nothing) still names a reason.
        const int code = savedErrno != 0 ? savedErrno : EIO;
        error = {AtomicWriteError::Step::Write, std::strerror(code), code};
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rv
