#pragma once

// Another program holding a serial device, as a terminal program does: `flock(1)` takes the
// device's lock and keeps it while its command sleeps.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace rv::test {

class PortHolder {
  public:
    // Starts `flock -o PATH sleep 60` (-o: only flock itself keeps the device open) and waits
    // until the lock is taken; held() tells whether it was.
    explicit PortHolder(const std::string& path) {
        std::string args[] = {"flock", "-o", path, "sleep", "60"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(),
                        args[3].data(), args[4].data(), nullptr};
        if (posix_spawnp(&pid_, "flock", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
        for (int i = 0; i < 200 && pid_ > 0 && !held_; ++i) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) break;
            held_ = flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            if (!held_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    ~PortHolder() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

    bool held() const { return held_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace rv::test
