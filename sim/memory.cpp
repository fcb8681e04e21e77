#include "memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "block_map.h"
#include "device_float.h"

namespace rv::sim {

Memory::Memory() = default;

Memory::~Memory() {
    if (fd_ >= 0) {
        ::fsync(fd_);
        ::close(fd_);
    }
}

bool Memory::attachFile(const std::string& path, bool& loaded, std::string& error) {
    loaded = false;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(kMemorySize)) {
            error = path + ": not a memory file of 65536 bytes";
            ::close(fd);
            return false;
        }
        if (::pread(fd, bytes_.data(), kMemorySize, 0) != static_cast<ssize_t>(kMemorySize)) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        loaded = true;
    } else if (errno == ENOENT) {
        // Written under another name first, so a half-written file never passes for memory.
        const std::string temp = path + ".new";
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 ||
            ::pwrite(fd, bytes_.data(), kMemorySize, 0) != static_cast<ssize_t>(kMemorySize) ||
            ::fsync(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
            error = path + ": " + std::strerror(errno);
            if (fd >= 0) ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
    } else {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    fd_ = fd;
    return true;
}

void Memory::store(size_t address, uint8_t value) {
    bytes_[address] = value;
    if (fd_ >= 0) (void)::pwrite(fd_, &value, 1, static_cast<off_t>(address));
}

std::vector<uint8_t> Memory::copy(int block, bool backup) const {
    const BlockPlace& info = kBlockMap[block];
    const size_t base = backup ? info.backup : info.primary;
    return {bytes_.begin() + base, bytes_.begin() + base + info.length + 2};
}

bool Memory::copyValid(int block, bool backup) const {
    const BlockPlace& info = kBlockMap[block];
    const std::vector<uint8_t> c = copy(block, backup);
    const uint16_t crc = BlockCrc(c.data(), info.length);
    return c[0] == info.id && c[info.length] == (crc & 0xFF) && c[info.length + 1] == (crc >> 8);
}

std::optional<std::vector<uint8_t>> Memory::validBlock(int block) const {
    if (copyValid(block, false)) return copy(block, false);
    if (copyValid(block, true)) return copy(block, true);
    return std::nullopt;
}

void Memory::putBlock(int block, const std::vector<uint8_t>& data) {
    const BlockPlace& info = kBlockMap[block];
    std::vector<uint8_t> image(info.length + 2, 0);
    image[0] = static_cast<uint8_t>(info.id);
    std::copy_n(data.begin(), std::min<size_t>(data.size(), info.length - 1), image.begin() + 1);
    const uint16_t crc = BlockCrc(image.data(), info.length);
    image[info.length] = static_cast<uint8_t>(crc & 0xFF);
    image[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    for (const uint16_t base : {info.primary, info.backup})
        for (size_t i = 0; i < image.size(); ++i) store(base + i, image[i]);
}

void Memory::spoilCopy(int block, bool backup) {
    if (!copyValid(block, backup)) return;
    const BlockPlace& info = kBlockMap[block];
    const size_t at = (backup ? info.backup : info.primary) + info.length;
    store(at, static_cast<uint8_t>(bytes_[at] ^ 0x5A));
}

namespace {

void put16(std::vector<uint8_t>& block, size_t offset, uint16_t value) {
    block[offset] = static_cast<uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put24(std::vector<uint8_t>& block, size_t offset, uint32_t value) {
    block[offset] = static_cast<uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    block[offset + 2] = static_cast<uint8_t>((value >> 16) & 0xFF);
}

void putFloat(std::vector<uint8_t>& block, size_t offset, double value) {
    const DeviceFloat f = encodeDeviceFloat(value);
    std::copy(f.begin(), f.end(), block.begin() + offset);
}

// A block image indexed like the copy in memory: offset 0 is the identifier.
std::vector<uint8_t> emptyBlock(int block) {
    return std::vector<uint8_t>(kBlockMap[block].length, 0);
}

void putBlockImage(Memory& memory, int block, const std::vector<uint8_t>& image) {
    memory.putBlock(block, std::vector<uint8_t>(image.begin() + 1, image.end()));
}

// Each channel comes from the factory set up for a different sensor, so that a decoder
// that mixes up channels or fields shows it.
struct ChannelDefaults {
    uint8_t sensorType;
    double r0;
    double rLine;
    uint8_t scheme;
    double low;
    double high;
};

constexpr std::array<ChannelDefaults, 8> kChannelDefaults{{
    {6, 100.0, 0.0, 0, 0.0, 150.0},    // Pt100
    {0, 50.0, 0.0, 0, -50.0, 150.0},   // 50M copper
    {5, 100.0, 0.0, 0, 0.0, 400.0},    // 100P platinum
    {7, 100.0, 0.0, 0, 0.0, 1300.0},   // thermocouple
    {14, 100.0, 0.0, 0, 0.0, 100.0},   // current 4-20 mA
    {17, 100.0, 0.0, 0, 0.0, 320.0},   // resistance input
    {2, 100.0, 0.0, 0, -50.0, 200.0},  // 100M copper
    {6, 100.0, 1.25, 1, 0.0, 150.0},   // Pt100, two-wire
}};

}  // namespace

CalibrationEntry factoryCalibrationEntry(int entry) {
    static constexpr std::array<CalibrationEntry, 5> kEntries{{
        {0, 0, 0.001},    // millivolt inputs
        {4, -2, 0.0005},  // current inputs
        {2, 1, 0.02},     // wide resistance range
        {7, -5, 0.005},   // 50-ohm thermometers
        {12, -3, 0.01},   // 100-ohm thermometers and the resistance input
    }};
    return kEntries[entry];
}

void writeFactoryImage(Memory& memory, const InstrumentSetup& setup) {
    const int channels = setup.model == Model::RV7406 ? 6 : 8;

    auto b0 = emptyBlock(0);
    put16(b0, 1, setup.model == Model::RV7406 ? 7406 : 7408);
    b0[3] = static_cast<uint8_t>(channels);
    put24(b0, 6, 240615);  // date of manufacture, YYMMDD
    put16(b0, 10, setup.channelsFitted());
    put16(b0, 12, setup.relayMask());
    b0[14] = 4;  // hardware revision
    put24(b0, 18, setup.id);
    putBlockImage(memory, 0, b0);

    auto b1 = emptyBlock(1);
    put16(b1, 1, static_cast<uint16_t>(setup.number));
    b1[3] = static_cast<uint8_t>(speedIndexOfBaud(setup.speed));
    putBlockImage(memory, 1, b1);

    // Relay r switches on the upper set point of channel r + 1 and on its fault.
    auto b2 = emptyBlock(2);
    for (int r = 0; r < 8; ++r) {
        if (!(setup.relayMask() & (1u << r))) continue;
        for (auto [event, code] : {std::pair{3 * r + 1, 2}, std::pair{3 * r + 2, 1}})
            b2[1 + 6 * r + event / 4] |= static_cast<uint8_t>(code << (2 * (event % 4)));
    }
    put16(b2, 49, setup.channelsFitted());
    putBlockImage(memory, 2, b2);

    for (int ch = 0; ch < 8; ++ch) {
        const ChannelDefaults& d = kChannelDefaults[ch];
        auto b = emptyBlock(3 + ch);
        b[1] = d.sensorType;
        putFloat(b, 2, d.r0);
        putFloat(b, 6, d.rLine);
        putFloat(b, 10, 0.0);
        b[14] = d.scheme;
        b[15] = 1;
        putFloat(b, 16, d.low);
        putFloat(b, 20, d.high);
        put16(b, 24, 4);
        b[26] = 0x40;  // an instrument flag the configurator keeps as it is
        putFloat(b, 27, d.low - 0.1 * (d.high - d.low));
        putFloat(b, 31, d.high + 0.1 * (d.high - d.low));
        b[35] = static_cast<uint8_t>(0xA0 + ch);
        putBlockImage(memory, 3 + ch, b);

        auto s = emptyBlock(11 + ch);
        putFloat(s, 1, 25.0 + 5 * ch);
        putFloat(s, 5, 0.5);
        putFloat(s, 9, 50.0 + 10 * ch);
        putFloat(s, 13, 1.0);
        putBlockImage(memory, 11 + ch, s);

        auto c = emptyBlock(22 + ch);
        put16(c, 1, 2406);  // calibration date, YYMM
        c[3] = static_cast<uint8_t>(ch + 1);
        c[4] = 0x5C;
        for (int k = 0; k < 5; ++k) {
            const CalibrationEntry e = factoryCalibrationEntry(k);
            put16(c, 5 + 8 * k, static_cast<uint16_t>(e.a));
            put16(c, 7 + 8 * k, static_cast<uint16_t>(e.b));
            putFloat(c, 9 + 8 * k, e.c);
        }
        putBlockImage(memory, 22 + ch, c);
    }

    auto b19 = emptyBlock(19);
    putFloat(b19, 1, 20.0);
    putFloat(b19, 5, 1.0);
    putBlockImage(memory, 19, b19);

    auto b20 = emptyBlock(20);
    put16(b20, 1, setup.password);
    b20[3] = 0x01;
    b20[4] = 0x80;
    b20[5] = 11;  // 3 s per channel
    putBlockImage(memory, 20, b20);

    auto b21 = emptyBlock(21);
    for (size_t i = 1; i < b21.size(); ++i) b21[i] = static_cast<uint8_t>(i * 17);
    putBlockImage(memory, 21, b21);

    auto b30 = emptyBlock(30);
    for (size_t i = 1; i < b30.size(); ++i) b30[i] = static_cast<uint8_t>(0xF0 - i);
    putBlockImage(memory, 30, b30);
}

}  // namespace rv::sim
