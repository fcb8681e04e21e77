#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// Bytes as upper-case hex digits, two per byte, nothing between them.
std::string HexText(const uint8_t* bytes, size_t count);
// The bytes of an even number of hex digits (either case); nothing for any other text.
std::optional<std::vector<uint8_t>> ParseHexText(std::string_view text);

}  // namespace rv
