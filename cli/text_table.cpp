#include "text_table.h"

#include <algorithm>

namespace rv::cli {

size_t DisplayWidth(const std::string& text) {
    // Every byte but the continuation bytes (10xxxxxx) starts a character.
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string TextTable::text() const {
    std::vector<size_t> widths;
    for (const auto& row : rows_) {
        if (row.size() > widths.size()) widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string out;
    for (const auto& row : rows_) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line.append(widths[c] - DisplayWidth(row[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + '\n';
    }
    return out;
}

}  // namespace rv::cli
