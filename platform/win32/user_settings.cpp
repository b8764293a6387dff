// The own settings' folder on Windows: %APPDATA%\Tarvex.
#include "platform/user_settings_os.h"

#include <cerrno>
#include <windows.h>

#include "platform/win32/wide_text.h"

const char PATH_SEPARATOR = '\\';

std::string UserSettingsFolder() {
    wchar_t appData[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return Narrow(appData) + "\\Tarvex";
}

// Its parent, APPDATA, is there already.
bool MakeUserSettingsFolder(const std::string& path) {
    if (::CreateDirectoryW(Widen(path).c_str(), nullptr) ||
        ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    errno = ErrnoOfWin32Error(::GetLastError());
    return false;
}
