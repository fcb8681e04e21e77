// Appending on Windows: FILE_APPEND_DATA puts every write at the end of the file, and the
// record is flushed through to the disk before the call returns.
#include <windows.h>

#include <string>

#include "fileio/append_file.h"
#include "fileio/windows_text.h"

namespace rv {

namespace {

bool endsUnfinished(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) return false;
    OVERLAPPED at{};
    const ULONGLONG last = static_cast<ULONGLONG>(size.QuadPart) - 1;
    at.Offset = static_cast<DWORD>(last & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(last >> 32);
    char byte = '\n';
    DWORD read = 0;
    return ReadFile(file, &byte, 1, &read, &at) && read == 1 && byte != '\n';
}

}  // namespace

bool AppendRecord(const std::string& path, std::string_view record, std::string& error) {
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "Не удалось открыть файл «" + path + "»: " + SystemErrorText(GetLastError());
        return false;
    }
    std::string text;
    if (endsUnfinished(file)) text += '\n';
    text.append(record);
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    ok = ok && FlushFileBuffers(file);
    const DWORD failure = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok) error = "Не удалось дописать файл «" + path + "»: " + SystemErrorText(failure);
    return ok;
}

}  // namespace rv
