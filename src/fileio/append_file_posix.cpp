#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fileio/append_file.h"

namespace rv {

namespace {

// Whether the file's last byte is something other than a newline.
bool endsUnfinished(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0) return false;
    char last = '\n';
    return ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

}  // namespace

bool AppendRecord(const std::string& path, std::string_view record, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Не удалось открыть файл «" + path + "»: " + std::strerror(errno);
        return false;
    }
    std::string text;
    text.reserve(record.size() + 1);
    if (endsUnfinished(fd)) text += '\n';
    text.append(record);
    // O_APPEND puts the whole write at the end, after anything another process appended.
    ssize_t n = -1;
    do {
        n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    bool ok = n == static_cast<ssize_t>(text.size());
    int code = n < 0 ? errno : ENOSPC;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        code = errno;
    }
    ::close(fd);
    if (!ok) error = "Не удалось дописать файл «" + path + "»: " + std::strerror(code);
    return ok;
}

}  // namespace rv
