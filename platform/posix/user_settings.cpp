// The own settings' folder on POSIX: $XDG_CONFIG_HOME/tarvex or
// ~/.config/tarvex.
#include "platform/user_settings_os.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

const char PATH_SEPARATOR = '/';

std::string UserSettingsFolder() {
    const char* szConfig = std::getenv("XDG_CONFIG_HOME");
    if (szConfig != nullptr && szConfig[0] == '/')
        return std::string(szConfig) + "/tarvex";
    const char* szHome = std::getenv("HOME");
    if (szHome != nullptr && szHome[0] != '\0')
        return std::string(szHome) + "/.config/tarvex";
    return {};
}

bool MakeUserSettingsFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}
