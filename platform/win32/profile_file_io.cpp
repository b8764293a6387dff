// The profile files on disk, on Windows: the read and the write check, by
// wide paths so that Cyrillic names work.
#include "platform/profile_file_os.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

#include "platform/win32/wide_text.h"

ProfileRead ReadProfileFile(const std::string& path, std::size_t nCap, std::string& text,
                            bool& bTooBig) {
    text.clear();
    bTooBig = false;
    HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        errno = ErrnoOfWin32Error(error);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ProfileRead::MISSING
                                                                              : ProfileRead::FAILED;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        errno = EINVAL;
        return ProfileRead::FAILED;
    }
    // Sized from the file, not the cap: settings files are small.
    LARGE_INTEGER size{};
    const std::size_t nSize =
        ::GetFileSizeEx(h, &size) ? static_cast<std::size_t>(size.QuadPart) : std::size_t{0};
    const bool bRead = ReadCapped(
        nSize, nCap,
        [h](char* buffer, std::size_t size) -> long {
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
            if (!::ReadFile(h, buffer, want, &n, nullptr)) {
                errno = ErrnoOfWin32Error(::GetLastError());
                return -1;
            }
            return static_cast<long>(n);
        },
        text, bTooBig);
    const int nError = errno;
    ::CloseHandle(h);
    errno = nError;
    return bRead ? ProfileRead::OK : ProfileRead::FAILED;
}

bool MayWriteFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}
