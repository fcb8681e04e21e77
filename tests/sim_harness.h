#pragma once

// Starts rv740x-sim for a test and stops it again, by process id. Each instance works in its
// own temporary directory, so tests can run side by side.
//
//   SimProcess sim({"5,model=RV7406"});
//   ASSERT_TRUE(sim.started()) << sim.error();
//   link.Device = sim.linkPath();

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "instrument_map.h"

#ifndef RV740X_SIM_PATH
#error "RV740X_SIM_PATH must name the rv740x-sim executable"
#endif

namespace rv::test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "rv740x-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

struct SimOptions {
    // Each entry becomes one `--instrument SETUP`.
    std::vector<std::string> instruments;
    // Where the memory files live; empty: a directory of this instance's own.
    std::string stateDir;
    // Where the link to the line goes; empty: in this instance's directory.
    std::string linkPath;
    bool pace = false;
    std::optional<double> latencyMs;
    std::chrono::milliseconds readyDeadline{5000};
    // Network ports to serve the line on besides the pseudo-terminal, e.g. "rfc2217:0" (a free
    // port) or "tcp:0:19200"; with `noTerminal` the line is served on them alone.
    std::vector<std::string> listen{};
    std::optional<double> netDelayMs{};
    bool noTerminal = false;
};

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> instruments)
        : SimProcess(SimOptions{
              std::move(instruments), {}, {}, false, {}, std::chrono::milliseconds(5000)}) {}

    explicit SimProcess(SimOptions options) {
        if (dir_.path().empty()) {
            error_ = "cannot make a temporary directory";
            return;
        }
        linkPath_ = options.linkPath.empty() ? dir_.path() + "/line" : options.linkPath;
        logPath_ = dir_.path() + "/sim.log";
        stateDir_ = options.stateDir.empty() ? dir_.path() + "/state" : options.stateDir;

        std::vector<std::string> args{RV740X_SIM_PATH, "--state", stateDir_, "--log", logPath_};
        if (!options.noTerminal) {
            args.push_back("--link");
            args.push_back(linkPath_);
        } else {
            linkPath_.clear();
        }
        for (const std::string& listen : options.listen) {
            args.push_back("--listen");
            args.push_back(listen);
        }
        if (options.netDelayMs) {
            args.push_back("--net-delay");
            args.push_back(std::to_string(*options.netDelayMs));
        }
        if (options.pace) args.push_back("--pace");
        if (options.latencyMs) {
            args.push_back("--latency");
            args.push_back(std::to_string(*options.latencyMs));
        }
        for (const std::string& setup : options.instruments) {
            args.push_back("--instrument");
            args.push_back(setup);
        }
        start(args, options.readyDeadline);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    bool started() const { return ready_; }
    const std::string& error() const { return error_; }
    pid_t pid() const { return pid_; }

    const std::string& linkPath() const { return linkPath_; }
    // The URL of the network port the simulator serves by `kind` ("rfc2217" or "tcp"), as
    // the ready line named it; empty when it serves none.
    std::string address(const std::string& kind) const {
        const std::vector<std::string> all = addresses(kind);
        return all.empty() ? std::string() : all.front();
    }
    // The URLs of every port served by `kind`, in the order of the options.
    std::vector<std::string> addresses(const std::string& kind) const {
        const std::string key = " " + kind + ":";
        std::vector<std::string> found;
        for (size_t at = readyLine_.find(key); at != std::string::npos;
             at = readyLine_.find(key, at + 1)) {
            const size_t from = at + key.size();
            found.push_back(kind + "://127.0.0.1:" +
                            readyLine_.substr(from, readyLine_.find(' ', from) - from));
        }
        return found;
    }
    const std::string& stateDir() const { return stateDir_; }
    const std::string& logPath() const { return logPath_; }
    // The memory file of the instrument started with network number `number`.
    std::string stateFile(int number) const {
        return stateDir_ + "/" + std::to_string(number) + ".mem";
    }

    // SIGTERM, then waits for the exit; returns the exit status (-1 if it did not exit
    // normally or was not running). Safe to call twice.
    int stop() {
        if (pid_ <= 0) return exitStatus_;
        ::kill(pid_, SIGTERM);
        reap();
        return exitStatus_;
    }

    // SIGKILL, as a crash or a power cut would end it.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        reap();
    }

  private:
    void start(const std::vector<std::string>& args, std::chrono::milliseconds deadline) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);

        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            error_ = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        pid_ = ::fork();
        if (pid_ < 0) {
            error_ = std::string("fork: ") + std::strerror(errno);
            ::close(out[0]);
            ::close(out[1]);
            return;
        }
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];

        const std::string expected = "ready " + linkPath_;
        std::string seen;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (seen.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                error_ = "rv740x-sim did not report ready in time; it said: " + seen;
                return;
            }
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(stdout_, buf, sizeof buf);
            if (n <= 0) {
                reap();
                error_ = "rv740x-sim ended before it was ready (exit status " +
                         std::to_string(exitStatus_) + "); it said: " + seen;
                return;
            }
            seen.append(buf, static_cast<size_t>(n));
        }
        // "ready PATH", then the network ports when it serves any: "rfc2217:40123".
        const size_t lineEnd = seen.find('\n');
        const bool listens = args.end() != std::find(args.begin(), args.end(), "--listen");
        if (seen.compare(0, expected.size(), expected) != 0 ||
            (!listens && lineEnd != expected.size())) {
            error_ = "rv740x-sim said '" + seen + "' instead of '" + expected + "'";
            return;
        }
        readyLine_ = seen.substr(0, lineEnd) + " ";
        ready_ = true;
    }

    void reap() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        ready_ = false;
        if (stdout_ >= 0) ::close(stdout_);
        stdout_ = -1;
    }

    TempDir dir_;
    std::string linkPath_;
    std::string logPath_;
    std::string stateDir_;
    std::string readyLine_;
    std::string error_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    int exitStatus_ = -1;
    bool ready_ = false;
};

// The bytes of a memory file, empty when it cannot be read whole.
inline std::vector<uint8_t> ReadStateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return bytes.size() == 65536 ? bytes : std::vector<uint8_t>();
}

// One stored copy of a block out of a memory file: identifier, data, CRC low, CRC high
// (length + 2 bytes); empty when the file cannot be read.
inline std::vector<uint8_t> ReadBlockCopy(const std::string& stateFile, int block, bool backup) {
    const std::vector<uint8_t> memory = ReadStateFile(stateFile);
    if (memory.empty() || block < 0 || block >= kBlockRows) return {};
    const BlockRow& info = kBlocks[block];
    const size_t base = backup ? info.backup : info.primary;
    return {memory.begin() + base, memory.begin() + base + info.length + 2};
}

// Whether a copy as ReadBlockCopy gives it carries its identifier and a matching CRC.
inline bool BlockCopyValid(const std::vector<uint8_t>& copy, int block) {
    const BlockRow& info = kBlocks[block];
    if (copy.size() != static_cast<size_t>(info.length) + 2 || copy[0] != info.id) return false;
    const uint16_t crc = BlockCrc(copy.data(), info.length);
    return copy[info.length] == (crc & 0xFF) && copy[info.length + 1] == (crc >> 8);
}

// What a read of the block shows in a simulated instrument's memory: the primary copy when
// whole, else the backup.
inline std::vector<uint8_t> ShownBlock(const SimProcess& sim, unsigned net, int block) {
    const std::string state = sim.stateFile(static_cast<int>(net));
    const std::vector<uint8_t> primary = ReadBlockCopy(state, block, false);
    return BlockCopyValid(primary, block) ? primary : ReadBlockCopy(state, block, true);
}

// Every block of the instrument as a read shows it, by block.
inline std::map<int, std::vector<uint8_t>> ShownBlocks(const SimProcess& sim, unsigned net) {
    std::map<int, std::vector<uint8_t>> memory;
    for (int block = 0; block < kBlockRows; ++block) memory[block] = ShownBlock(sim, net, block);
    return memory;
}

// Puts `bytes` at data offset `offset` of both stored copies of `block` in a memory file and
// gives each copy its matching CRC, as an instrument that holds those values would have them.
// For a simulator that is not running; false when the file cannot be read or written whole.
inline bool PatchBlockData(const std::string& stateFile, int block, size_t offset,
                           const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> memory = ReadStateFile(stateFile);
    if (memory.empty() || block < 0 || block >= kBlockRows) return false;
    const BlockRow& info = kBlocks[block];
    if (offset < 1 || offset + bytes.size() > info.length) return false;
    for (const size_t base : {size_t{info.primary}, size_t{info.backup}}) {
        std::copy(bytes.begin(), bytes.end(), memory.begin() + base + offset);
        const uint16_t crc = BlockCrc(memory.data() + base, info.length);
        memory[base + info.length] = static_cast<uint8_t>(crc & 0xFF);
        memory[base + info.length + 1] = static_cast<uint8_t>(crc >> 8);
    }
    std::ofstream out(stateFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(memory.data()),
              static_cast<std::streamsize>(memory.size()));
    return static_cast<bool>(out);
}

}  // namespace rv::test
