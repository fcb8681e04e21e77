#include "line/json_place.h"

#include <algorithm>

namespace rv {

std::string PointerTo(const std::string& parent, std::string_view key) {
    std::string out = parent + "/";
    for (const char c : key) {
        if (c == '~') {
            out += "~0";
        } else if (c == '/') {
            out += "~1";
        } else {
            out += c;
        }
    }
    return out;
}

std::string PointerTo(const std::string& parent, size_t index) {
    return parent + "/" + std::to_string(index);
}

std::string TextPlace(std::string_view text, size_t position) {
    const size_t end = position == 0 ? text.size() : std::min(position - 1, text.size());
    size_t line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const size_t column = Utf8Length(text.substr(lineStart, end - lineStart)) + 1;
    return "строка " + std::to_string(line) + ", столбец " + std::to_string(column);
}

size_t Utf8Length(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace rv
