#pragma once

// A pseudo-terminal pair for tests that play the instrument: the link opens the slave by its
// path, the test reads request frames from the master and answers with scripted bytes.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "instrument_map.h"

namespace rv::test {

using namespace std::chrono_literals;
using TestClock = std::chrono::steady_clock;

// One piece of a scripted reply: written after `delay`, counted from the previous piece
// (the first from the moment the request frame was read).
struct Piece {
    std::string bytes;
    std::chrono::milliseconds delay{0};
};

class PtyPeer {
  public:
    PtyPeer() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path_ = name;
        // Raw from the start, so bytes written before the link configures the port are not
        // echoed back or translated.
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;
    ~PtyPeer() {
        join();
        closeMaster();
        if (slave_ >= 0) ::close(slave_);
    }

    // The device the link opens.
    const std::string& path() const { return path_; }
    // The test's own descriptor of the slave, kept open so the line stays up between opens.
    int slaveFd() const { return slave_; }
    int masterFd() const { return master_; }

    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes all bytes to the master side, as the instrument would send them.
    void write(std::string_view bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 10);
            }
        }
    }

    // Reads bytes up to and including the first CR, or what came until `within` passed.
    std::string readFrame(std::chrono::milliseconds within = 2000ms) {
        std::string frame;
        const auto deadline = TestClock::now() + within;
        while (frame.empty() || frame.back() != '\r') {
            char c = 0;
            const ssize_t n = ::read(master_, &c, 1);
            if (n == 1) {
                frame += c;
                continue;
            }
            if (!waitForMore(deadline, n)) break;
        }
        return frame;
    }

    // Everything the link has sent that arrives within `within`.
    std::string drain(std::chrono::milliseconds within) {
        std::string bytes;
        const auto deadline = TestClock::now() + within;
        for (;;) {
            char buffer[512];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (!waitForMore(deadline, n)) break;
        }
        return bytes;
    }

    // After a read that gave nothing (n <= 0): sleeps until more may be read and tells
    // whether to go on, false once the deadline has passed or the line failed.
    bool waitForMore(TestClock::time_point deadline, ssize_t n) const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TestClock::now());
        if (left.count() <= 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
        return true;
    }

    // Runs `script` on a helper thread; join() waits for it.
    void play(std::function<void(PtyPeer&)> script) {
        join();
        thread_ = std::thread([this, script = std::move(script)] { script(*this); });
    }

    // Answers the next request frames with the pieces; the frames are kept in frames().
    void answer(std::vector<Piece> pieces, int requests = 1) {
        join();
        frames_.clear();
        play([pieces = std::move(pieces), requests](PtyPeer& peer) {
            for (int r = 0; r < requests; ++r) {
                peer.frames_.push_back(peer.readFrame());
                for (const Piece& piece : pieces) {
                    std::this_thread::sleep_for(piece.delay);
                    peer.write(piece.bytes);
                }
                peer.lastWrite_ = TestClock::now();
            }
        });
    }

    void join() {
        if (thread_.joinable()) thread_.join();
    }

    // Frames read by answer(); read them after join().
    const std::vector<std::string>& frames() const { return frames_; }
    // When answer() finished writing its last piece.
    TestClock::time_point lastWrite() const { return lastWrite_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread thread_;
    std::vector<std::string> frames_;
    TestClock::time_point lastWrite_{};
};

// An instrument's reply frame from '!' through CR: the echo of `net`, the fields, the CRC.
inline std::string MakeReply(uint32_t net, const std::vector<std::string>& fields) {
    std::string covered = std::to_string(net) + ";";
    for (const std::string& field : fields) covered += field + ";";
    return "!" + covered + std::to_string(FrameCrc(covered)) + "\r";
}

// Bytes from a hexadecimal text such as "ff3a31".
inline std::string FromHex(std::string_view hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

// The tab-separated rows of a vector file, without its '#' header lines; empty columns kept.
// A missing file gives no rows (the tables' own tests then fail, naming the file).
inline std::vector<std::vector<std::string>> ReadTsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> row;
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            row.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace rv::test
