// Rewriting a file in place on Windows, for a file that may be written in a
// folder that may not.
#include "platform/in_place_file.h"

#include <cerrno>
#include <windows.h>

#include "platform/win32/wide_text.h"

FileStatus RewriteInPlace(const std::string& target, std::string_view text) {
    HANDLE h = ::CreateFileW(Widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {ErrnoOfWin32Error(::GetLastError())};
    DWORD written = 0;
    const bool bOk =
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && ::SetEndOfFile(h) && ::FlushFileBuffers(h);
    const FileStatus status = bOk ? FileStatus{} : FileStatus{ErrnoOfWin32Error(::GetLastError())};
    ::CloseHandle(h);
    return status;
}
