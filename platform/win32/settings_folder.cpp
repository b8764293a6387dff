// Vextar.ini's folder on Windows. The current folder of a program started
// from the Start menu is often its install folder, which a user without
// administrator rights may not write: the settings then go to the user's
// own folder rather than being lost at every exit.
#include "platform/settings_folder.h"

#include <string>
#include <windows.h>

#include "platform/user_settings_os.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr const wchar_t* FILE_NAME = L"Vextar.ini";

std::wstring CurrentFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (n == 0)
            return {};
        if (n < folder.size()) {
            folder.resize(n);
            break;
        }
        folder.resize(n); // n counts the terminating NUL when the buffer was short
    }
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

// True when this user may change the settings file in folder: the file is
// there and opens for writing, or it is not and the folder takes a new file
// (tried with a file that goes when its handle closes).
bool MayKeepSettingsIn(const std::wstring& folder) {
    const std::wstring file = folder + FILE_NAME;
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
            return true; // the user's own choice: its error is reported on saving
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return ::GetLastError() != ERROR_ACCESS_DENIED;
        ::CloseHandle(h);
        return true;
    }
    const std::wstring probe = folder + L"Vextar.ini." + std::to_wstring(::GetCurrentProcessId());
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ::GetLastError() != ERROR_ACCESS_DENIED;
    ::CloseHandle(h);
    return true;
}

} // namespace

std::string SettingsFileFolder() {
    const std::wstring current = CurrentFolder();
    if (current.empty() || MayKeepSettingsIn(current))
        return Narrow(current);
    const std::string user = UserSettingsFolder();
    if (user.empty() || !MakeUserSettingsFolder(user))
        return Narrow(current);
    return user + PATH_SEPARATOR;
}
