// The program's own settings on Windows: %APPDATA%\Tarvex\tarvex.ini.
#include "platform/user_settings.h"

#include <cerrno>
#include <windows.h>

#include "platform/profile_file.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr std::string_view SECTION = "Tarvex";
constexpr std::size_t VALUE_SIZE = 256;

std::string SettingsFolder() {
    wchar_t appData[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return Narrow(appData) + "\\Tarvex";
}

// Makes the folder (its parent, APPDATA, exists); true when it exists afterwards.
bool MakeFolder(const std::string& path) {
    if (::CreateDirectoryW(Widen(path).c_str(), nullptr) ||
        ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    errno = ErrnoOfWin32Error(::GetLastError());
    return false;
}

} // namespace

std::string UserSettingsPath() {
    const std::string folder = SettingsFolder();
    return folder.empty() ? folder : folder + "\\tarvex.ini";
}

std::string LoadUserSetting(std::string_view key, std::string_view def) {
    const std::string path = UserSettingsPath();
    if (path.empty())
        return std::string(def);
    return ProfileFileGet(path, SECTION, key, def, VALUE_SIZE);
}

int SaveUserSetting(std::string_view key, std::string_view value) {
    const std::string folder = SettingsFolder();
    if (folder.empty()) {
        errno = ENOENT;
        return 0;
    }
    if (!MakeFolder(folder))
        return 0;
    return ProfileFileSet(UserSettingsPath(), SECTION, key, value);
}
