#include "config/relay_table.h"

namespace rv {

namespace {

constexpr int kBytesPerRelay = kRelayTableSize / kRelayCount;

size_t byteOf(int relay, int event) {
    const int byte = kBytesPerRelay * relay + event / 4;
    return static_cast<size_t>(byte);
}
int shiftOf(int event) { return 2 * (event % 4); }

}  // namespace

int RelayCode(const RelayTableBytes& table, int relay, int event) {
    return (table[byteOf(relay, event)] >> shiftOf(event)) & 3;
}

void SetRelayCode(RelayTableBytes& table, int relay, int event, int code) {
    uint8_t& byte = table[byteOf(relay, event)];
    const int shift = shiftOf(event);
    byte = static_cast<uint8_t>((byte & ~(3 << shift)) | ((code & 3) << shift));
}

}  // namespace rv
