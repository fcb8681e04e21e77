#pragma once

#include <string>
#include <string_view>

namespace rv {

// Why an atomic write failed: the step and the system's reason, for the caller's message.
struct AtomicWriteError {
    enum class Step { CreateTemporary, Write };
    Step step = Step::Write;
    std::string reason;
    int code = 0;  // the system's error number (EEXIST: the file was there and is kept)
};

// What an atomic write does with a file already at its path.
enum class ExistingFile { Replace, Keep };

// Replaces the file at `path` with `text` as one step: a temporary file beside it (mode
// 0644), written in full and flushed to the disk, then renamed over `path`. On failure the
// file at `path` is untouched, the temporary file is gone and `error` says why. With Keep a
// file already at `path` is never replaced: the write fails with code EEXIST, also on file
// systems that cannot refuse a rename themselves.
bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error,
                         ExistingFile existing = ExistingFile::Replace);

// The user's message for a failed atomic write of `path` (Russian): which step failed, and
// the system's reason.
std::string AtomicWriteErrorText(const std::string& path, const AtomicWriteError& error);

}  // namespace rv
