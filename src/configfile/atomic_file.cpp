#include "configfile/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rv {

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = "Не удалось создать файл рядом с «" + path + "»: " + std::strerror(errno);
        return false;
    }
    bool written = fchmod(fd, 0644) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    const int savedErrno = errno;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Не удалось записать файл «" + path +
                "»: " + std::strerror(written ? errno : savedErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rv
