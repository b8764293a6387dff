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
    text.resize(std::min(nSize, nCap) + 1);
    std::size_t nHave = 0;
    while (nHave < text.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - nHave, 1u << 20));
        if (!::ReadFile(h, text.data() + nHave, want, &n, nullptr)) {
            errno = ErrnoOfWin32Error(::GetLastError());
            ::CloseHandle(h);
            text.clear();
            return ProfileRead::FAILED;
        }
        if (n == 0)
            break;
        nHave += n;
        // The file grew since its size was taken: keep reading up to the cap.
        if (nHave == text.size() && text.size() <= nCap)
            text.resize(std::min(text.size() * 2, nCap + 1));
    }
    ::CloseHandle(h);
    if (nHave > nCap) {
        bTooBig = true;
        nHave = nCap;
    }
    text.resize(nHave);
    return ProfileRead::OK;
}

bool MayWriteFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}
