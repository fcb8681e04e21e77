// Feeds what a gateway might send to the client's end of a Telnet (RFC 2217) connection:
// option negotiation, sub-negotiations and the line's bytes, mixed in any order. The first
// byte chooses where the stream is cut into pieces. Whatever the cuts, the line's bytes, the
// answers and the state must be those of the whole stream at once; the line's bytes are never
// more than what came; and the line's bytes escaped by the client come back unchanged through
// a decoder whose binary transmission was agreed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/telnet_client.h"

namespace {

struct Outcome {
    std::string data;
    std::string reply;
    rv::TelnetClient client;
};

void feed(Outcome& o, const uint8_t* data, size_t size, size_t step) {
    for (size_t pos = 0; pos < size;) {
        const size_t take = step == 0 ? size - pos : std::min(step, size - pos);
        o.client.receive(data + pos, take, o.data, o.reply);
        pos += take;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = data[0] % 17;  // 0: all at once
    ++data;
    --size;

    Outcome whole;
    Outcome pieces;
    (void)whole.client.start();
    (void)pieces.client.start();
    feed(whole, data, size, 0);
    feed(pieces, data, size, step == 0 ? 1 : step);
    if (whole.data != pieces.data || whole.reply != pieces.reply) abort();
    if (whole.client.comPort() != pieces.client.comPort()) abort();
    if (whole.client.reportedSpeed() != pieces.client.reportedSpeed()) abort();
    if (whole.client.sendsBinary() != pieces.client.sendsBinary()) abort();
    if (whole.data.size() > size) abort();
    // Every answer is a three-byte command: IAC, a verb, an option.
    if (whole.reply.size() % 3 != 0) abort();
    for (size_t i = 0; i < whole.reply.size(); i += 3) {
        if (static_cast<uint8_t>(whole.reply[i]) != rv::telnet::kIac) abort();
    }

    // Escaping round trip: the client's coding of the input, once both ends agreed to binary.
    rv::TelnetClient sender;
    rv::TelnetClient receiver;
    std::string ignored;
    std::string reply;
    (void)sender.start();
    (void)receiver.start();
    const uint8_t agree[] = {rv::telnet::kIac, rv::telnet::kDo,   rv::telnet::kBinary,
                             rv::telnet::kIac, rv::telnet::kWill, rv::telnet::kBinary};
    sender.receive(agree, sizeof agree, ignored, reply);
    receiver.receive(agree, sizeof agree, ignored, reply);
    if (!ignored.empty() || !sender.sendsBinary() || !receiver.receivesBinary()) abort();
    std::string coded;
    sender.encode(data, size, coded);
    std::string decoded;
    const auto* bytes = reinterpret_cast<const uint8_t*>(coded.data());
    for (size_t pos = 0; pos < coded.size();) {
        const size_t take = std::min(step == 0 ? coded.size() : step, coded.size() - pos);
        receiver.receive(bytes + pos, take, decoded, reply);
        pos += take;
    }
    if (decoded != std::string(reinterpret_cast<const char*>(data), size)) abort();
    return 0;
}
