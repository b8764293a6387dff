// The profile files on disk, on Windows: read with a size cap, replaced
// atomically (or rewritten in place where the folder may not be written).
// Wide paths throughout, so Cyrillic names work.
#include "platform/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

#include "platform/atomic_file.h"
#include "platform/win32/wide_text.h"

namespace {

enum class ReadResult { OK, MISSING, FAILED };

// Reads a file whole, up to nCap bytes; bTooBig tells that there was more.
ReadResult ReadFileText(const std::string& path, std::size_t nCap, std::string& text,
                        bool& bTooBig) {
    text.clear();
    bTooBig = false;
    HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        errno = ErrnoOfWin32Error(error);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::MISSING
                                                                              : ReadResult::FAILED;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        errno = EINVAL;
        return ReadResult::FAILED;
    }
    text.resize(nCap + 1);
    std::size_t nHave = 0;
    while (nHave < text.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - nHave, 1u << 20));
        if (!::ReadFile(h, text.data() + nHave, want, &n, nullptr)) {
            errno = ErrnoOfWin32Error(::GetLastError());
            ::CloseHandle(h);
            text.clear();
            return ReadResult::FAILED;
        }
        if (n == 0)
            break;
        nHave += n;
    }
    ::CloseHandle(h);
    if (nHave > nCap) {
        bTooBig = true;
        nHave = nCap;
    }
    text.resize(nHave);
    return ReadResult::OK;
}

// Rewrites an existing file in place, for a file that may be written in a
// folder that may not.
bool RewriteInPlace(const std::string& target, std::string_view text) {
    HANDLE h = ::CreateFileW(Widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ErrnoOfWin32Error(::GetLastError());
        return false;
    }
    DWORD written = 0;
    bool bOk = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size() && ::SetEndOfFile(h) && ::FlushFileBuffers(h);
    if (!bOk)
        errno = ErrnoOfWin32Error(::GetLastError());
    ::CloseHandle(h);
    return bOk;
}

bool ReplaceFile(const std::string& target, std::string_view text, bool bExisted) {
    AtomicFile file(target, ReplacePolicy::Replace);
    FileStatus status = file.OpenStatus();
    if (!status.Ok()) {
        if (bExisted && status.error != EACCES)
            return RewriteInPlace(target, text);
        errno = status.error;
        return false;
    }
    status = file.Write(text);
    if (status.Ok())
        status = file.Commit();
    errno = status.error;
    return status.Ok();
}

} // namespace

std::string ProfileFileGet(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view def, std::size_t nSize) {
    std::string text;
    bool bTooBig = false;
    if (ReadFileText(path, PROFILE_MAX_FILE_SIZE, text, bTooBig) != ReadResult::OK)
        return ProfileGet(std::string_view(), section, key, def, nSize);
    return ProfileGet(text, section, key, def, nSize);
}

int UpdateProfileFile(const std::string& path, const ProfileUpdate& update) {
    if (path.empty()) {
        errno = ENOENT;
        return 0;
    }
    std::string text;
    bool bTooBig = false;
    const ReadResult result = ReadFileText(path, PROFILE_MAX_FILE_SIZE, text, bTooBig);
    if (result == ReadResult::FAILED)
        return 0;
    if (bTooBig) {
        errno = EFBIG;
        return 0;
    }
    const bool bExisted = result == ReadResult::OK;
    // A file made read-only is left alone, as the Windows functions do.
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (bExisted && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return 0;
    }
    std::optional<std::string> updated = update(text);
    if (!updated) {
        errno = EINVAL;
        return 0;
    }
    return ReplaceFile(path, *updated, bExisted) ? 1 : 0;
}
