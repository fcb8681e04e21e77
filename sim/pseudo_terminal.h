#pragma once

#include <string>

namespace rv::sim {

// The line: a pseudo-terminal whose slave side is reached through a symbolic link. The
// simulator reads requests from and writes replies to the master side.
class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    // Opens the terminal in raw mode at 9600 baud and points `linkPath` at it; an existing
    // symbolic link there is replaced, anything else is refused.
    bool open(const std::string& linkPath, std::string& error);
    void removeLink();

    int master() const { return master_; }
    // Readable when a client closed the line.
    int closeWatch() const { return watch_; }
    // After a client closed the line: lifts the exclusive use it may have claimed, which
    // would otherwise outlive it because the simulator keeps the slave side open.
    void clientClosed();

    // The speed the client set on the line, in baud (0 when it is not a speed the
    // instruments know).
    unsigned baud() const;

  private:
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    std::string slaveName_;
    std::string linkPath_;
};

}  // namespace rv::sim
