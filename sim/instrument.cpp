#include "instrument.h"

#include <charconv>
#include <cmath>

#include "device_float.h"

namespace rv::sim {

namespace {

constexpr unsigned kWriteEnable = 51736;
constexpr unsigned kMeasureModeBase = 32720;
constexpr int kFirstChannelCode = 16;
constexpr int kMaxReadCount = 53;
// The most counts a reading may differ by: a configurator holds a difference of whole counts
// exactly only up to 2^40, and the answer's numbers must stay far from the limits of a long.
constexpr double kMaxCounts = 1e9;

// The single-field answers of a measurement the instrument cannot make.
const char* const kNoSuchChannel = "1";
const char* const kNoCalibration = "3";

unsigned toUnsigned(const std::string& item) {
    unsigned v = 0;
    auto [ptr, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
    return ec == std::errc() && ptr == item.data() + item.size() ? v : ~0u;
}

int16_t signed16(const std::vector<uint8_t>& block, size_t offset) {
    return static_cast<int16_t>(block[offset] | (block[offset + 1] << 8));
}

}  // namespace

Instrument::Instrument(InstrumentSetup setup)
    : setup_(std::move(setup)),
      number_(static_cast<unsigned>(setup_.number)),
      speed_(setup_.speed),
      noiseState_(0x9E3779B9u ^ static_cast<uint32_t>(setup_.number * 2654435761u)) {}

bool Instrument::start(const std::string& stateDir, std::string& error) {
    writeFactoryImage(memory_, setup_);
    if (!stateDir.empty()) {
        bool loaded = false;
        const std::string path = stateDir + "/" + std::to_string(setup_.number) + ".mem";
        if (!memory_.attachFile(path, loaded, error)) return false;
    }
    for (int block : setup_.badPrimary) memory_.spoilCopy(block, false);
    for (int block : setup_.badBoth) {
        memory_.spoilCopy(block, false);
        memory_.spoilCopy(block, true);
    }
    takeNetworkSettings();
    return true;
}

void Instrument::takeNetworkSettings() {
    const auto block = memory_.validBlock(1);
    if (!block) return;
    const unsigned net = (*block)[1] | ((*block)[2] << 8);
    const uint32_t baud = baudOfSpeedIndex((*block)[3]);
    if (net >= 1 && net <= 254) number_ = net;
    if (baud != 0) speed_ = baud;
}

std::optional<std::vector<std::string>> Instrument::answer(const Request& request) {
    ++heard_;
    if (setup_.silent || request.items.empty()) return std::nullopt;
    const std::string& command = request.items[0];
    const size_t count = request.items.size();
    if (command == "0" && count == 1) return std::vector<std::string>{setup_.family};
    if (command == "198" && count == 1) return std::vector<std::string>{setup_.version};
    if (command == "211" && count == 3) return readBytes(request);
    if (command == "202" && count == 4) return writeByte(request);
    if (command == "2" && count == 3) return measure(request);
    if (command == "3" && count == 1) {
        if (setup_.closeReply) return std::vector<std::string>{*setup_.closeReply};
        // The reply still goes out at the old number and speed: the line answers it before
        // the new settings can matter.
        takeNetworkSettings();
        return std::vector<std::string>{"0"};
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> Instrument::readBytes(const Request& request) const {
    const unsigned address = toUnsigned(request.items[1]);
    const unsigned count = toUnsigned(request.items[2]);
    if (count == 0 || count > kMaxReadCount || address > kMemorySize - count) return std::nullopt;
    std::vector<std::string> fields;
    for (unsigned i = 0; i < count; ++i) fields.push_back(std::to_string(memory_.at(address + i)));
    return fields;
}

std::optional<std::vector<std::string>> Instrument::writeByte(const Request& request) {
    const unsigned code = toUnsigned(request.items[1]);
    const unsigned address = toUnsigned(request.items[2]);
    const unsigned value = toUnsigned(request.items[3]);
    if (code != kWriteEnable || address >= kMemorySize || value > 255) return std::nullopt;
    memory_.store(address, static_cast<uint8_t>(value));
    ++byteWrites_;
    unsigned echo = memory_.at(address);
    if (byteWrites_ == setup_.badEcho) echo = (echo + 1) & 0xFF;
    if (byteWrites_ == setup_.dropReply) return std::nullopt;
    return std::vector<std::string>{std::to_string(echo)};
}

std::optional<std::vector<std::string>> Instrument::measure(const Request& request) {
    const unsigned code = toUnsigned(request.items[1]);
    const unsigned mode = toUnsigned(request.items[2]);
    if (code < kFirstChannelCode || code >= kFirstChannelCode + 8) return std::nullopt;
    if (mode != kMeasureModeBase && mode != kMeasureModeBase + 1) return std::nullopt;
    if (setup_.measureSilent) return std::nullopt;
    if (setup_.measureReply) return *setup_.measureReply;
    if (setup_.measureError) return std::vector<std::string>{*setup_.measureError};
    const int channel = static_cast<int>(code) - kFirstChannelCode;
    if (!(setup_.channelsFitted() & (1u << channel)))
        return std::vector<std::string>{kNoSuchChannel};

    // The configurator turns the difference D of the two readings into ohms with the
    // channel's calibration entry 4 - s as (D + A - B) * C; the readings are made so that
    // this gives back the resistance on the input.
    const int subRange = static_cast<int>(mode - kMeasureModeBase);
    const CalibrationEntry entry = calibrationEntry(channel, 4 - subRange);
    const double counts = inputResistance(channel) / entry.c;
    if (entry.c == 0.0 || !std::isfinite(counts) || std::fabs(counts) > kMaxCounts)
        return std::vector<std::string>{kNoCalibration};
    const long difference = std::lround(counts) - entry.a + entry.b;
    const long reference = 4000 + 37 * channel;
    const long first = reference + difference + noise();
    const long second = reference + noise();
    return std::vector<std::string>{std::to_string(first), std::to_string(second)};
}

double Instrument::inputResistance(int channel) {
    double r = baseResistance(channel);
    if (const auto& ramp = setup_.ramp[channel]) {
        const auto now = std::chrono::steady_clock::now();
        if (!courseStart_[channel]) courseStart_[channel] = now;
        const double elapsed = std::chrono::duration<double>(now - *courseStart_[channel]).count();
        r = elapsed >= ramp->seconds
                ? ramp->to
                : ramp->from + (ramp->to - ramp->from) * elapsed / ramp->seconds;
    }
    if (setup_.resistanceNoise[channel] > 0) r += setup_.resistanceNoise[channel] * unitNoise();
    return r;
}

double Instrument::baseResistance(int channel) const {
    if (setup_.resistance[channel]) return *setup_.resistance[channel];
    if (const auto block = memory_.validBlock(3 + channel)) {
        const double r0 = decodeDeviceFloat(block->data() + 2);
        if (r0 > 0.0 && r0 < 100000.0) return r0;
    }
    return 100.0;
}

CalibrationEntry Instrument::calibrationEntry(int channel, int entry) const {
    const auto block = memory_.validBlock(22 + channel);
    if (!block) return factoryCalibrationEntry(entry);
    const size_t at = 5 + 8 * static_cast<size_t>(entry);
    return {signed16(*block, at), signed16(*block, at + 2),
            decodeDeviceFloat(block->data() + at + 4)};
}

int Instrument::noise() {
    const long spread = std::lround(setup_.measureNoise);
    if (spread <= 0) return 0;
    return static_cast<int>(nextNoise() % static_cast<uint32_t>(2 * spread + 1)) -
           static_cast<int>(spread);
}

double Instrument::unitNoise() { return static_cast<double>(nextNoise()) / 2147483647.5 - 1.0; }

uint32_t Instrument::nextNoise() {
    // xorshift32: the same sequence on every run, so a failing test can be rerun.
    noiseState_ ^= noiseState_ << 13;
    noiseState_ ^= noiseState_ >> 17;
    noiseState_ ^= noiseState_ << 5;
    return noiseState_;
}

}  // namespace rv::sim
