#pragma once

// Starts Debian's ser2net, a real serial device server, in front of a line for a test and
// stops it again by process id. It serves the line on 127.0.0.1 at a free port, by Telnet
// with COM-PORT-OPTION (RFC 2217) or raw at a fixed speed, from a YAML file of its own.
//
//   Gateway gateway(sim.linkPath(), Gateway::Kind::Rfc2217);
//   ASSERT_TRUE(gateway.started()) << gateway.error();
//   link.Device = gateway.address();

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "sim_harness.h"

namespace rv::test {

// A port of 127.0.0.1 that nothing listens on at the moment of the call.
inline unsigned FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

class Gateway {
  public:
    enum class Kind { Rfc2217, RawTcp };

    // Default: ser2net as installed. Quick: as a cabinet PC serving a polled line should be
    // set up; Nagle's algorithm off on the connection, and what the line brings passed on
    // after half a character's silence rather than two characters'.
    enum class Tuning { Default, Quick };

    // `baud` is the raw port's fixed speed; a Telnet port starts at it.
    Gateway(const std::string& device, Kind kind, unsigned baud = 9600,
            Tuning tuning = Tuning::Default)
        : kind_(kind) {
        const bool quick = tuning == Tuning::Quick;
        port_ = FreePort();
        const std::string config = dir_.path() + "/ser2net.yaml";
        std::ofstream yaml(config);
        yaml << "connection: &line\n"
             << "  accepter: " << (kind == Kind::Rfc2217 ? "telnet(rfc2217)," : "")
             << (quick ? "tcp(nodelay=true)," : "tcp,") << "127.0.0.1," << port_ << "\n"
             << "  connector: serialdev," << device << "," << baud << "n81,local\n";
        if (quick) yaml << "  options:\n    chardelay-scale: 5\n    chardelay-min: 100\n";
        yaml.close();
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string pidFile = dir_.path() + "/ser2net.pid";
            const std::string log = dir_.path() + "/ser2net.log";
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "w", stderr);
            ::execlp("ser2net", "ser2net", "-n", "-c", config.c_str(), "-P", pidFile.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once the port listens; a trial connection would take the line itself.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!listening()) {
            int status = 0;
            if (pid_ < 0 || ::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                error_ = "ser2net did not start (is it installed?)";
                return;
            }
            if (std::chrono::steady_clock::now() > giveUp) {
                error_ = "ser2net did not listen on 127.0.0.1:" + std::to_string(port_);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        started_ = true;
    }
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;
    ~Gateway() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

    bool started() const { return started_; }
    const std::string& error() const { return error_; }
    // The line's URL: rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT.
    std::string address() const {
        return std::string(kind_ == Kind::Rfc2217 ? "rfc2217" : "tcp") +
               "://127.0.0.1:" + std::to_string(port_);
    }

  private:
    // Whether /proc/net/tcp lists 127.0.0.1:port in the listening state (0A).
    bool listening() const {
        std::ifstream table("/proc/net/tcp");
        char wanted[32];
        std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port_);
        for (std::string line; std::getline(table, line);) {
            if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos)
                return true;
        }
        return false;
    }

    TempDir dir_;
    Kind kind_;
    unsigned port_ = 0;
    pid_t pid_ = -1;
    bool started_ = false;
    std::string error_;
};

}  // namespace rv::test
