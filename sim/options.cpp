#include "options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

namespace rv::sim {

const char* const kUsage =
    R"(Usage: rv740x-sim [--link PATH] [--listen KIND:PORT[:BAUD] ...] [--net-delay MS]
                  [--state DIR] [--log FILE] [--pace] [--latency MS]
                  --instrument SETUP [--instrument SETUP ...]

Simulated RV7406/RV7408 instruments sharing one line, served on a pseudo-terminal, on
network ports of 127.0.0.1 as a serial device server serves a line, or both. PATH
becomes a symbolic link to the terminal; the program prints "ready" followed by PATH
and each network port as KIND:PORT once it serves ("ready /tmp/line rfc2217:4001"),
and stops cleanly on SIGINT or SIGTERM.

  --link PATH        where to put the link to the line; an existing link is replaced
                     only when it names a pseudo-terminal (left by an earlier run)
  --listen rfc2217:PORT[:BAUD]
                     serve the line on 127.0.0.1:PORT by Telnet with COM-PORT-OPTION
                     (RFC 2217): the client sets the line's speed, 9600 at first; with
                     BAUD the speed is fixed and any other is refused
  --listen tcp:PORT[:BAUD]
                     serve the line on 127.0.0.1:PORT raw, at BAUD (default 9600)
                     PORT 0 takes a free port. One client at a time: another one is
                     told "Port already in use" and disconnected, as gateways do.
  --net-delay MS     delay everything sent to a network client by MS milliseconds,
                     which adds MS to the round trip
  --state DIR        keep each instrument's memory in DIR/NUMBER.mem (65536 bytes),
                     written through on every byte write; made from the factory image
                     when absent. Without it memory lasts as long as the process.
  --log FILE         one JSON line per request heard and per reply sent
  --pace             deliver replies at 10 bits per byte at the line speed, after the
                     request's own wire time
  --latency MS       extra delay before every reply (default 2 with --pace, else 0)
  --instrument SETUP one instrument: NUMBER[,key=value...], NUMBER being its
                     network number 1..254

SETUP keys:
  model=RV7406|RV7408   channels 1-6 or 1-8 fitted (default RV7408)
  family=TEXT           answer to the identification request (default 17)
  version=TEXT          firmware version text (default 2.07)
  id=N                  identification value, 24 bits, 0 allowed (default 0x010203)
  relays=N              relay mask (default 0x3F for RV7406, 0xFF for RV7408)
  speed=BAUD            300 600 1200 2400 4800 9600 19200 (default 9600)
  password=HHHH         four hexadecimal digits (default 0000)
  r=CH:OHMS             resistance on channel CH's input (default: the channel's R0)
  ramp=CH:FROM:TO:SEC   channel CH's resistance goes from FROM to TO ohms in a straight
                        line over SEC seconds, counted from the channel's first
                        measuring request, and then stays at TO (a sensor cooling:
                        ramp=1:109.73:100:60)
  r-noise=CH:OHMS       channel CH's resistance is off by up to OHMS either way in each
                        measurement (uniform, the same sequence on every run)
Fault switches:
  silent                never answers
  bad-primary=B         primary copy of block B fails its CRC (repeatable)
  bad-both=B            both copies of block B fail their CRC (repeatable)
  bad-echo=K            the K-th byte write of the run echoes a wrong value
  drop-reply=K          the K-th byte write of the run is stored but not answered
  drop-connection=N     the N-th request the instrument hears is carried out and the
                        network connection it came on is closed instead of an answer
                        (on the pseudo-terminal it is answered)
  close=TEXT            answer TEXT to "3;" and keep the old number and speed
  measure-error=TEXT    measurements answer the single field TEXT
  measure-reply=F:F...  measurements answer exactly these fields (':' between them)
  measure-silent        measurements get no answer (other requests do)
  measure-noise=X       raw readings spread by a whole amount within -X..+X
  garbage               noise bytes before every reply
  split                 replies written in small pieces with short gaps
  no-cr                 replies never end (no CR)
Numbers may be decimal or 0x-prefixed hexadecimal. TEXT holds only '$', '-', '.'
and digits. With --state, an instrument starts with the network number and speed
kept in its memory file.
)";

namespace {

bool parseUnsigned(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        first += 2;
        base = 16;
    }
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v, base);
    if (ec != std::errc() || ptr != last || v > max) return false;
    value = v;
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    size_t used = 0;
    try {
        value = std::stod(text, &used);
    } catch (...) {
        return false;
    }
    return used == text.size() && std::isfinite(value);
}

}  // namespace

bool isFieldText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == '$' || c == '-' || c == '.' || (c >= '0' && c <= '9');
    });
}

namespace {
constexpr std::array<uint32_t, 7> kSpeeds{300, 600, 1200, 2400, 4800, 9600, 19200};
}

int speedIndexOfBaud(uint32_t baud) {
    for (size_t i = 0; i < kSpeeds.size(); ++i)
        if (kSpeeds[i] == baud) return static_cast<int>(i);
    return -1;
}

uint32_t baudOfSpeedIndex(int index) {
    return index >= 0 && index < static_cast<int>(kSpeeds.size()) ? kSpeeds[index] : 0;
}

std::optional<InstrumentSetup> parseInstrumentSetup(const std::string& text, std::string& error) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    InstrumentSetup setup;
    uint64_t v = 0;
    if (!parseUnsigned(parts[0], 254, v) || v == 0) {
        error = "instrument number must be 1..254, got '" + parts[0] + "'";
        return std::nullopt;
    }
    setup.number = static_cast<int>(v);

    auto fail = [&](const std::string& why) {
        error = "instrument " + std::to_string(setup.number) + ": " + why;
        return std::nullopt;
    };
    // Texts the instrument sends back must stay inside the reply field set.
    auto fieldValue = [&](const std::string& key, const std::string& value, bool allowEmpty,
                          std::string& out) -> bool {
        if ((value.empty() && !allowEmpty) || !isFieldText(value) || value.size() > 200) {
            error = "instrument " + std::to_string(setup.number) + ": " + key +
                    " must be a text of '$', '-', '.' and digits" +
                    (allowEmpty ? "" : ", not empty") + ", got '" + value + "'";
            return false;
        }
        out = value;
        return true;
    };

    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const size_t eq = part.find('=');
        const std::string key = part.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? part.substr(eq + 1) : std::string();

        if (key == "silent" || key == "garbage" || key == "split" || key == "no-cr" ||
            key == "measure-silent") {
            if (hasValue) return fail("'" + key + "' takes no value");
            if (key == "silent") setup.silent = true;
            if (key == "garbage") setup.garbage = true;
            if (key == "split") setup.split = true;
            if (key == "no-cr") setup.noCr = true;
            if (key == "measure-silent") setup.measureSilent = true;
            continue;
        }
        if (!hasValue) return fail("'" + key + "' needs a value (" + key + "=...)");

        if (key == "model") {
            if (value == "RV7406")
                setup.model = Model::RV7406;
            else if (value == "RV7408")
                setup.model = Model::RV7408;
            else
                return fail("model must be RV7406 or RV7408, got '" + value + "'");
        } else if (key == "family") {
            if (!fieldValue(key, value, false, setup.family)) return std::nullopt;
        } else if (key == "version") {
            if (!fieldValue(key, value, false, setup.version)) return std::nullopt;
        } else if (key == "id") {
            if (!parseUnsigned(value, 0xFFFFFF, v)) return fail("id must be 0..0xFFFFFF");
            setup.id = static_cast<uint32_t>(v);
        } else if (key == "relays") {
            if (!parseUnsigned(value, 0xFFFF, v)) return fail("relays must be 0..0xFFFF");
            setup.relays = static_cast<uint16_t>(v);
        } else if (key == "speed") {
            if (!parseUnsigned(value, 19200, v) || speedIndexOfBaud(static_cast<uint32_t>(v)) < 0)
                return fail("speed must be one of 300 600 1200 2400 4800 9600 19200");
            setup.speed = static_cast<uint32_t>(v);
        } else if (key == "password") {
            uint64_t p = 0;
            if (value.size() != 4 || !parseUnsigned("0x" + value, 0xFFFF, p))
                return fail("password must be four hexadecimal digits");
            setup.password = static_cast<uint16_t>(p);
        } else if (key == "r") {
            const size_t colon = value.find(':');
            double ohms = 0;
            if (colon == std::string::npos || !parseUnsigned(value.substr(0, colon), 8, v) ||
                v == 0 || !parseReal(value.substr(colon + 1), ohms) || ohms <= 0 || ohms > 10000)
                return fail("r must be CH:OHMS with CH 1..8 and 0 < OHMS <= 10000");
            setup.resistance[v - 1] = ohms;
        } else if (key == "ramp") {
            std::vector<std::string> items;
            size_t from = 0;
            for (;;) {
                const size_t colon = value.find(':', from);
                items.push_back(value.substr(from, colon - from));
                if (colon == std::string::npos) break;
                from = colon + 1;
            }
            InstrumentSetup::Ramp ramp;
            if (items.size() != 4 || !parseUnsigned(items[0], 8, v) || v == 0 ||
                !parseReal(items[1], ramp.from) || !parseReal(items[2], ramp.to) ||
                !parseReal(items[3], ramp.seconds) || ramp.from <= 0 || ramp.from > 10000 ||
                ramp.to <= 0 || ramp.to > 10000 || ramp.seconds < 0 || ramp.seconds > 1e6)
                return fail(
                    "ramp must be CH:FROM:TO:SECONDS with CH 1..8, 0 < FROM, TO <= 10000 and "
                    "0 <= SECONDS <= 1000000");
            setup.ramp[v - 1] = ramp;
        } else if (key == "r-noise") {
            const size_t colon = value.find(':');
            double ohms = 0;
            if (colon == std::string::npos || !parseUnsigned(value.substr(0, colon), 8, v) ||
                v == 0 || !parseReal(value.substr(colon + 1), ohms) || ohms < 0 || ohms > 1000)
                return fail("r-noise must be CH:OHMS with CH 1..8 and 0 <= OHMS <= 1000");
            setup.resistanceNoise[v - 1] = ohms;
        } else if (key == "bad-primary" || key == "bad-both") {
            if (!parseUnsigned(value, 30, v)) return fail(key + " must name a block 0..30");
            (key == "bad-primary" ? setup.badPrimary : setup.badBoth)
                .push_back(static_cast<int>(v));
        } else if (key == "bad-echo") {
            if (!parseUnsigned(value, 1'000'000'000, v) || v == 0)
                return fail("bad-echo must be a count from 1");
            setup.badEcho = static_cast<int>(v);
        } else if (key == "drop-reply") {
            if (!parseUnsigned(value, 1'000'000'000, v) || v == 0)
                return fail("drop-reply must be a count from 1");
            setup.dropReply = static_cast<int>(v);
        } else if (key == "drop-connection") {
            if (!parseUnsigned(value, 1'000'000'000, v) || v == 0)
                return fail("drop-connection must be a count from 1");
            setup.dropConnection = static_cast<int>(v);
        } else if (key == "close") {
            std::string text;
            if (!fieldValue(key, value, true, text)) return std::nullopt;
            setup.closeReply = text;
        } else if (key == "measure-error") {
            std::string text;
            if (!fieldValue(key, value, true, text)) return std::nullopt;
            setup.measureError = text;
        } else if (key == "measure-reply") {
            std::vector<std::string> fields;
            size_t from = 0;
            for (;;) {
                const size_t colon = value.find(':', from);
                std::string field;
                if (!fieldValue(key, value.substr(from, colon - from), true, field))
                    return std::nullopt;
                fields.push_back(field);
                if (colon == std::string::npos) break;
                from = colon + 1;
            }
            if (fields.size() > 60) return fail("measure-reply takes at most 60 fields");
            setup.measureReply = fields;
        } else if (key == "measure-noise") {
            double x = 0;
            if (!parseReal(value, x) || x < 0 || x > 1000)
                return fail("measure-noise must be a number 0..1000");
            setup.measureNoise = x;
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    return setup;
}

std::optional<Listener> parseListener(const std::string& text, std::string& error) {
    const auto fail = [&] {
        error =
            "--listen must be rfc2217:PORT[:BAUD] or tcp:PORT[:BAUD] with PORT 0..65535 and "
            "BAUD one of 300 600 1200 2400 4800 9600 19200, got '" +
            text + "'";
        return std::nullopt;
    };
    std::vector<std::string> items;
    size_t from = 0;
    for (;;) {
        const size_t colon = text.find(':', from);
        items.push_back(text.substr(from, colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    Listener listener;
    if (items.size() < 2 || items.size() > 3) return fail();
    if (items[0] == "rfc2217") {
        listener.kind = Listener::Kind::Rfc2217;
    } else if (items[0] == "tcp") {
        listener.kind = Listener::Kind::RawTcp;
    } else {
        return fail();
    }
    uint64_t v = 0;
    if (!parseUnsigned(items[1], 65535, v)) return fail();
    listener.port = static_cast<uint16_t>(v);
    if (items.size() == 3) {
        if (!parseUnsigned(items[2], 19200, v) || speedIndexOfBaud(static_cast<uint32_t>(v)) < 0)
            return fail();
        listener.fixedBaud = static_cast<uint32_t>(v);
    } else if (listener.kind == Listener::Kind::RawTcp) {
        listener.fixedBaud = 9600;
    }
    return listener;
}

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        } else if (arg == "--link") {
            if (!next(options.linkPath)) return std::nullopt;
        } else if (arg == "--state") {
            if (!next(options.stateDir)) return std::nullopt;
        } else if (arg == "--log") {
            if (!next(options.logPath)) return std::nullopt;
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--latency") {
            double ms = 0;
            if (!next(value)) return std::nullopt;
            if (!parseReal(value, ms) || ms < 0 || ms > 60000) {
                error = "--latency must be a number of milliseconds 0..60000";
                return std::nullopt;
            }
            options.latencyMs = ms;
        } else if (arg == "--listen") {
            if (!next(value)) return std::nullopt;
            auto listener = parseListener(value, error);
            if (!listener) return std::nullopt;
            options.listeners.push_back(*listener);
        } else if (arg == "--net-delay") {
            double ms = 0;
            if (!next(value)) return std::nullopt;
            if (!parseReal(value, ms) || ms < 0 || ms > 60000) {
                error = "--net-delay must be a number of milliseconds 0..60000";
                return std::nullopt;
            }
            options.netDelayMs = ms;
        } else if (arg == "--instrument") {
            if (!next(value)) return std::nullopt;
            auto setup = parseInstrumentSetup(value, error);
            if (!setup) return std::nullopt;
            options.instruments.push_back(*setup);
        } else {
            error = "unknown argument '" + arg + "'";
            return std::nullopt;
        }
    }
    if (options.linkPath.empty() && options.listeners.empty()) {
        error = "--link PATH or --listen KIND:PORT is required";
        return std::nullopt;
    }
    if (options.instruments.empty()) {
        error = "at least one --instrument SETUP is required";
        return std::nullopt;
    }
    std::set<int> numbers;
    for (const auto& setup : options.instruments) {
        if (!numbers.insert(setup.number).second) {
            error = "two instruments with number " + std::to_string(setup.number);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace rv::sim
