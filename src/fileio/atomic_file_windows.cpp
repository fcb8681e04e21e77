// Atomic replacement on Windows: a temporary file beside the target, flushed, then moved over
// it with MoveFileEx, the move itself written through to the disk. Paths are UTF-8 in the
// program and UTF-16 at the system calls.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "fileio/atomic_file.h"
#include "fileio/windows_text.h"

namespace rv {

namespace {}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error,
                         ExistingFile existing) {
    const std::wstring final = WideFromUtf8(path);
    const std::wstring temporary = final + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64()) + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = {AtomicWriteError::Step::CreateTemporary, SystemErrorText(GetLastError())};
        return false;
    }
    bool written = true;
    for (size_t done = 0; written && done < text.size();) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
        written = WriteFile(file, text.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    written = written && FlushFileBuffers(file);
    DWORD failure = written ? 0 : GetLastError();
    written = CloseHandle(file) && written;
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a file already at the path.
    const DWORD replace = existing == ExistingFile::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (written &&
        !MoveFileExW(temporary.c_str(), final.c_str(), replace | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        failure = GetLastError();
    }
    if (!written) {
        error = {AtomicWriteError::Step::Write, SystemErrorText(failure)};
        if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) error.code = EEXIST;
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rv
