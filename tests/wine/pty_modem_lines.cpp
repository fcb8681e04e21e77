// LD_PRELOAD library for the Wine process of the Windows end-to-end test: gives the
// simulator's pseudo-terminal the modem lines a pseudo-terminal lacks, so that Wine's
// EscapeCommFunction, SetCommState and WaitCommEvent find RTS, DTR and break where a real
// port has them. Only pseudo-terminals are touched; every other descriptor, and every other
// request, goes to the C library as it is.
//
//   g++ -shared -fPIC -O2 -o pty_modem_lines.so pty_modem_lines.cpp -ldl
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <atomic>
#include <cstdarg>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

// The lines as last set, shared by every pseudo-terminal: the test uses one. DSR and CTS
// are shown on, as a powered adapter shows them.
std::atomic<int> lines{TIOCM_DSR | TIOCM_CTS};

bool pseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned majorNumber = major(st.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    static const auto next = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    switch (request) {
        case TIOCMGET:
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
        case TIOCSBRK:
        case TIOCCBRK:
            if (!pseudoTerminal(fd)) break;
            if (request == TIOCMGET) {
                *static_cast<int*>(argument) = lines.load();
            } else if (request == TIOCMSET) {
                lines.store(*static_cast<int*>(argument));
            } else if (request == TIOCMBIS) {
                lines.fetch_or(*static_cast<int*>(argument));
            } else if (request == TIOCMBIC) {
                lines.fetch_and(~*static_cast<int*>(argument));
            }
            return 0;
        default:
            break;
    }
    return next(fd, request, argument);
}
