#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "ports/platform.h"

namespace rv {

namespace {

void (*interruptHandler)() = nullptr;

void onSignal(int) {
    if (interruptHandler != nullptr) interruptHandler();
}

std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    // iconv_open's documented failure value is the integer -1 as a handle.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> input(in.begin(), in.end());
    std::vector<char> output(4 * in.size() + 4);
    char* inPtr = input.data();
    size_t inLeft = input.size();
    char* outPtr = output.data();
    size_t outLeft = output.size();
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1)) return std::nullopt;
    return std::string(output.data(), output.size() - outLeft);
}

}  // namespace

std::optional<std::string> ConvertText(TextEncoding from, TextEncoding to, const std::string& in) {
    const auto name = [](TextEncoding encoding) {
        return encoding == TextEncoding::Utf8 ? "UTF-8" : "CP1251";
    };
    return convert(name(to), name(from), in);
}

long double ReadLongDoubleC(const char* text) {
    // The program's own locale may use a decimal comma; the fields always use a point.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtold_l(text, nullptr, cLocale);
}

std::string PlatformName() {
    utsname name{};
    if (uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + " " + name.machine;
}

std::string DefaultDevice(int index) { return "/dev/ttyS" + std::to_string(index); }

bool IsDevicePath(std::string_view text) {
    if (text.empty() || text.front() != '/') return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7f) return false;
    }
    return true;
}

std::string SettingsFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    return base + "/rv740x/ports.conf";
}

std::string SettingsPathMissingReason() { return "не заданы XDG_CONFIG_HOME и HOME"; }

std::string SettingsPathMissingBrief() { return "нет HOME"; }

std::FILE* OpenForWriting(const std::string& path) { return std::fopen(path.c_str(), "we"); }

std::string LastSystemErrorText() { return std::strerror(errno); }

ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view contents,
                                    bool makeDirectory, std::string& reason) {
    if (makeDirectory) {
        std::error_code code;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), code);
        if (code) {
            reason = code.message();
            return ReplaceResult::DirectoryFailed;
        }
    }
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return ReplaceResult::TemporaryFailed;
    }
    bool written = fchmod(fd, 0644) == 0;
    for (std::size_t done = 0; written && done < contents.size();) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    written = written && fsync(fd) == 0;
    const int savedErrno = errno;
    written = (::close(fd) == 0) && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = std::strerror(written ? errno : savedErrno);
        ::unlink(temporary.c_str());
        return ReplaceResult::WriteFailed;
    }
    return ReplaceResult::Done;
}

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

void OnConsoleInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting poll or sleep returns at once
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace rv
