#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rv {

// Where in a JSON text something is, as the line's files name it in their messages.

// A JSON pointer one step below `parent`: "/instruments" and 2 give "/instruments/2"; a key
// has its '~' and '/' escaped.
std::string PointerTo(const std::string& parent, std::string_view key);
std::string PointerTo(const std::string& parent, size_t index);

// "строка L, столбец C" of the byte at `position` (counted from 1, as the JSON parser gives
// it; 0 and positions past the end name the end of the text), columns counted in characters.
std::string TextPlace(std::string_view text, size_t position);

// The number of characters of a UTF-8 text.
size_t Utf8Length(std::string_view text);

}  // namespace rv
