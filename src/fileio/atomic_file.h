#pragma once

#include <string>
#include <string_view>

namespace rv {

// Why an atomic write failed: the step and the system's reason, for the caller's message.
struct AtomicWriteError {
    enum class Step { CreateTemporary, Write };
    Step step = Step::Write;
    std::string reason;
};

// Replaces the file at `path` with `text` as one step: a temporary file beside it (mode
// 0644), written in full and flushed to the disk, then renamed over `path`. On failure the
// file at `path` is untouched, the temporary file is gone and `error` says why.
bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error);

}  // namespace rv
