#pragma once

#include <string>
#include <vector>

namespace rv::cli {

// Columns lined up on a terminal: each cell padded to its column's widest cell (counted in
// characters, so Cyrillic text lines up too), two blanks between columns, the last column
// not padded.
class TextTable {
  public:
    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    bool empty() const { return rows_.empty(); }
    // Every row, each ended by a newline.
    std::string text() const;

  private:
    std::vector<std::vector<std::string>> rows_;
};

// The number of characters of a UTF-8 text.
size_t DisplayWidth(const std::string& text);

}  // namespace rv::cli
