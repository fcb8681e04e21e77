#pragma once

#include <string>

namespace rv {

// Replaces the file at `path` with `text` whole or not at all: a temporary file beside it,
// written and synced, then a rename. On failure `error` says why (Russian) and the file at
// `path` is as it was.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

}  // namespace rv
