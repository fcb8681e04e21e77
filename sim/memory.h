#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace rv::sim {

inline constexpr size_t kMemorySize = 65536;

// An instrument's 64 KiB of memory, optionally kept in a file that every byte store
// writes through to, as the instrument's non-volatile memory would keep it.
class Memory {
  public:
    Memory();
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
    ~Memory();

    // Uses the file at `path`: loads it when present (it must hold exactly 65536 bytes),
    // else creates it from the present contents. False with a reason in `error`.
    bool attachFile(const std::string& path, bool& loaded, std::string& error);

    uint8_t at(size_t address) const { return bytes_[address]; }
    void store(size_t address, uint8_t value);

    // One stored copy of block `block` (identifier, data, CRC low, CRC high).
    std::vector<uint8_t> copy(int block, bool backup) const;
    bool copyValid(int block, bool backup) const;
    // The primary copy when it checks, else the backup when that checks.
    std::optional<std::vector<uint8_t>> validBlock(int block) const;

    // Writes identifier, data and CRC of block `block` into both copies; `data` holds the
    // length - 1 data bytes.
    void putBlock(int block, const std::vector<uint8_t>& data);
    // Makes one copy fail its CRC; a copy that fails already is left alone.
    void spoilCopy(int block, bool backup);

  private:
    std::array<uint8_t, kMemorySize> bytes_{};
    int fd_ = -1;
};

// Fills memory with a plausible factory configuration for `setup`.
void writeFactoryImage(Memory& memory, const InstrumentSetup& setup);

// Calibration entry k of a channel's calibration block in the factory image.
struct CalibrationEntry {
    int16_t a;
    int16_t b;
    double c;
};
CalibrationEntry factoryCalibrationEntry(int entry);

}  // namespace rv::sim
