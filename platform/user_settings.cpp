#include "platform/user_settings.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/profile_file.h"

namespace {

constexpr std::string_view SECTION = "Tarvex";
constexpr std::size_t VALUE_SIZE = 256;

// Makes every missing folder of path; true when it exists afterwards.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

std::string SettingsFolder() {
    const char* szConfig = std::getenv("XDG_CONFIG_HOME");
    if (szConfig != nullptr && szConfig[0] == '/')
        return std::string(szConfig) + "/tarvex";
    const char* szHome = std::getenv("HOME");
    if (szHome != nullptr && szHome[0] != '\0')
        return std::string(szHome) + "/.config/tarvex";
    return {};
}

} // namespace

std::string UserSettingsPath() {
    const std::string folder = SettingsFolder();
    return folder.empty() ? folder : folder + "/tarvex.ini";
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
    if (!MakeFolders(folder))
        return 0;
    return ProfileFileSet(folder + "/tarvex.ini", SECTION, key, value);
}
