#include "lineaddr/line_address.h"

#include <array>

namespace rv {

namespace {

constexpr std::string_view kSeparator = "://";

struct SchemeName {
    std::string_view name;
    NetworkScheme scheme;
};
constexpr std::array<SchemeName, 2> kSchemes{{
    {"rfc2217", NetworkScheme::Rfc2217},
    {"tcp", NetworkScheme::RawTcp},
}};

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// A host name or an IPv4 address: letters, digits, '-', '_' and '.'.
bool validHostName(std::string_view host) {
    for (const char c : host) {
        if (!isAsciiLetter(c) && !isDigit(c) && c != '-' && c != '_' && c != '.') return false;
    }
    return true;
}

// The inside of [...]: hexadecimal groups and colons, an IPv4 tail allowed.
bool validIpv6(std::string_view host) {
    if (host.find(':') == std::string_view::npos) return false;
    for (const char c : host) {
        if (!isHexDigit(c) && c != ':' && c != '.') return false;
    }
    return true;
}

}  // namespace

bool IsNetworkLineName(std::string_view name) {
    const size_t separator = name.find(kSeparator);
    if (separator == std::string_view::npos || separator == 0) return false;
    for (size_t i = 0; i < separator; ++i) {
        const char c = name[i];
        const bool schemeCharacter =
            isAsciiLetter(c) || (i > 0 && (isDigit(c) || c == '+' || c == '-' || c == '.'));
        if (!schemeCharacter) return false;
    }
    return true;
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text, std::string& problem) {
    problem.clear();
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7f) {
            problem = "в адресе есть пробелы или управляющие символы";
            return std::nullopt;
        }
    }
    if (!IsNetworkLineName(text)) {
        problem = "нет схемы";
        return std::nullopt;
    }
    const size_t separator = text.find(kSeparator);
    const std::string scheme = lowerAscii(text.substr(0, separator));
    NetworkAddress address;
    bool known = false;
    for (const SchemeName& s : kSchemes) {
        if (s.name == scheme) {
            address.scheme = s.scheme;
            known = true;
        }
    }
    if (!known) {
        problem = "неизвестная схема «" + std::string(text.substr(0, separator)) + "»";
        return std::nullopt;
    }

    std::string_view rest = text.substr(separator + kSeparator.size());
    std::string_view host;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            problem = "нет закрывающей скобки «]» после адреса IPv6";
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        if (host.empty()) {
            problem = "не указан узел";
            return std::nullopt;
        }
        if (!validIpv6(host)) {
            problem = "«" + std::string(host) + "» не адрес IPv6";
            return std::nullopt;
        }
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            problem = "после адреса IPv6 ожидается «:ПОРТ»";
            return std::nullopt;
        }
    } else {
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (host.empty()) {
            problem = "не указан узел";
            return std::nullopt;
        }
        if (colon != std::string_view::npos &&
            rest.find(':', colon + 1) != std::string_view::npos) {
            problem = "адрес IPv6 пишется в квадратных скобках: [::1]";
            return std::nullopt;
        }
        if (!validHostName(host)) {
            problem = "недопустимые символы в имени узла «" + std::string(host) + "»";
            return std::nullopt;
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon);
    }
    if (rest.empty() || rest == ":") {
        problem = "не указан порт";
        return std::nullopt;
    }
    const std::string_view digits = rest.substr(1);
    unsigned long port = 0;
    for (const char c : digits) {
        if (!isDigit(c) || port > 65535) {
            problem = "порт должен быть числом от 1 до 65535";
            return std::nullopt;
        }
        port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port == 0 || port > 65535) {
        problem = "порт должен быть числом от 1 до 65535";
        return std::nullopt;
    }
    address.host = std::string(host);
    address.port = static_cast<uint16_t>(port);
    return address;
}

std::string MalformedAddressMessage(std::string_view text, const std::string& problem) {
    return "неверный сетевой адрес «" + std::string(text) + "»: " + problem +
           " (нужно rfc2217://УЗЕЛ:ПОРТ или tcp://УЗЕЛ:ПОРТ)";
}

}  // namespace rv
