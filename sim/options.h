#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rv::sim {

enum class Model { RV7406, RV7408 };

// One instrument on the line, as given by `--instrument NUMBER[,key=value...]`.
struct InstrumentSetup {
    int number = 0;
    Model model = Model::RV7408;
    std::string family = "17";
    std::string version = "2.07";
    uint32_t id = 0x010203;
    std::optional<uint16_t> relays;  // default follows the model
    uint32_t speed = 9600;
    uint16_t password = 0;
    // Resistance seen on each channel's input; unset channels show the configured R0.
    std::array<std::optional<double>, 8> resistance{};
    // A course of the resistance on a channel: from `from` to `to` in a straight line over
    // `seconds`, counted from the channel's first measuring request, then staying at `to`.
    struct Ramp {
        double from = 0;
        double to = 0;
        double seconds = 0;
    };
    std::array<std::optional<Ramp>, 8> ramp{};
    // Noise on each channel's resistance: every measurement sees it off by up to this many
    // ohms either way.
    std::array<double, 8> resistanceNoise{};

    bool silent = false;
    std::vector<int> badPrimary;  // block indexes whose primary copy fails its CRC
    std::vector<int> badBoth;
    int badEcho = 0;    // the K-th byte write echoes a wrong value; 0 = never
    int dropReply = 0;  // the K-th byte write is stored but not answered; 0 = never
    // The N-th request the instrument hears is carried out, and the network connection it
    // came on is closed instead of answering it; 0 = never. The pseudo-terminal has no
    // connection to close: there the request is answered.
    int dropConnection = 0;
    std::optional<std::string> closeReply;
    std::optional<std::string> measureError;
    std::optional<std::vector<std::string>> measureReply;  // every field of every answer
    bool measureSilent = false;
    double measureNoise = 0.0;
    bool garbage = false;
    bool split = false;
    bool noCr = false;

    uint16_t channelsFitted() const { return model == Model::RV7406 ? 0x003F : 0x00FF; }
    uint16_t relayMask() const {
        return relays ? *relays : (model == Model::RV7406 ? 0x003F : 0x00FF);
    }
};

// A port on 127.0.0.1 that serves the line to one network client at a time, as a serial
// device server (a gateway) does: `--listen rfc2217:PORT[:BAUD]` or `--listen tcp:PORT[:BAUD]`.
struct Listener {
    enum class Kind { Rfc2217, RawTcp };
    Kind kind = Kind::Rfc2217;
    uint16_t port = 0;  // 0: any free port, named in the ready line
    // The line's speed. A raw port always has one (default 9600); a Telnet port that has one
    // refuses to change it, else it starts at 9600 and takes what the client sets.
    std::optional<uint32_t> fixedBaud;
};

struct Options {
    std::string linkPath;
    std::string stateDir;  // empty: memory lives only as long as the process
    std::string logPath;   // empty: no log
    bool pace = false;
    std::optional<double> latencyMs;
    std::vector<InstrumentSetup> instruments;
    std::vector<Listener> listeners;
    double netDelayMs = 0;  // added to everything a network client is sent
    bool help = false;
};

// Parses the command line; on failure returns nothing and says why in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);
std::optional<InstrumentSetup> parseInstrumentSetup(const std::string& text, std::string& error);
std::optional<Listener> parseListener(const std::string& text, std::string& error);

// Whether every character may travel in a reply field: '$', '-', '.' and digits.
bool isFieldText(const std::string& text);

// Speed-list index of a line speed (0 = 300 ... 6 = 19200), or -1.
int speedIndexOfBaud(uint32_t baud);
uint32_t baudOfSpeedIndex(int index);

extern const char* const kUsage;

}  // namespace rv::sim
