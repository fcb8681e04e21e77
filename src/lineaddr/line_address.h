#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rv {

// How the bytes of a line travel when it is not a local device: to a serial device server
// (a gateway) over TCP, either with the port's settings carried by Telnet COM-PORT-OPTION or
// raw, the gateway's own settings fixed.
enum class NetworkScheme { Rfc2217, RawTcp };

// A line reached over the network: rfc2217://HOST:PORT or tcp://HOST:PORT, HOST a name, an
// IPv4 address or an IPv6 address in brackets.
struct NetworkAddress {
    NetworkScheme scheme = NetworkScheme::Rfc2217;
    std::string host;  // without the brackets of an IPv6 address
    uint16_t port = 0;
};

// Whether a line's name is meant as a network address: it has a scheme ("letters://").
// Everything else names a local device.
bool IsNetworkLineName(std::string_view name);

// Parses a network address. On failure returns nothing and says what is wrong in `problem`,
// in Russian, e.g. "не указан порт".
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text, std::string& problem);

// The full message for a malformed address: "неверный сетевой адрес «tcp://host»: не указан
// порт (нужно rfc2217://УЗЕЛ:ПОРТ или tcp://УЗЕЛ:ПОРТ)".
std::string MalformedAddressMessage(std::string_view text, const std::string& problem);

}  // namespace rv
