// Atomic replacement on Windows: a temporary file beside the target, flushed, then moved over
// it with MoveFileEx, the move itself written through to the disk. Paths are UTF-8 in the
// program and UTF-16 at the system calls.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "fileio/atomic_file.h"

namespace rv {

namespace {

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string errorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "ошибка " + std::to_string(code);
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view text, AtomicWriteError& error,
                         ExistingFile existing) {
    const std::wstring final = wide(path);
    const std::wstring temporary = final + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64()) + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = {AtomicWriteError::Step::CreateTemporary, errorText(GetLastError())};
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
        error = {AtomicWriteError::Step::Write, errorText(failure)};
        if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) error.code = EEXIST;
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rv
