#pragma once

#include <string>
#include <string_view>

namespace rv {

// Adds `record` (one line with its closing newline) at the end of the file at `path`, made
// when missing (mode 0644): the file is opened for appending, the record goes in one write
// and is flushed to the disk before this returns, so a crash leaves it whole or absent. When
// the file does not end with a newline (a record cut short by a power cut), a newline goes
// first in the same write, so the cut record keeps a line of its own. On failure `error`
// says why (Russian).
bool AppendRecord(const std::string& path, std::string_view record, std::string& error);

}  // namespace rv
