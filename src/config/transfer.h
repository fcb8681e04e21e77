#pragma once

#include <functional>
#include <string>

#include "config/image.h"
#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// What the window wants to see of a running read or write.
struct TransferObserver {
    std::function<void(int percent)> progress;
    std::function<void(const std::string& version)> versionReceived;
    // A block has been read and decoded into the image (the read only).
    std::function<void(int blockIndex)> blockDecoded;
};

inline constexpr int kReadBudget = 58;     // 29 block reads of 2 transactions each
inline constexpr int kWriteBudget = 1070;  // 18 reads and 18 writes

// Reads the whole configuration of the instrument at link.NetNumber into the image: opens
// the port, identifies, fetches the version, reads and decodes the 29 blocks, closes the port.
// LoadedId ends 0 on any failure or cancel.
Outcome ReadConfiguration(Link& link, ConfigImage& image, const TransferObserver& observer);

// Writes the image back: block 2, blocks 3..10, 11..18 and block 20, each read first and
// only the image's bytes replaced, then the closing "3;". Opens and closes the port.
Outcome WriteConfiguration(Link& link, const ConfigImage& image,
                           const TransferObserver& observer);

}  // namespace rv
