#include "platform/user_settings.h"

#include <cerrno>

#include "platform/profile_file.h"
#include "platform/user_settings_os.h"

namespace {

constexpr std::string_view SECTION = "Tarvex";
constexpr std::size_t VALUE_SIZE = 256;

} // namespace

std::string UserSettingsPath() {
    const std::string folder = UserSettingsFolder();
    return folder.empty() ? folder : folder + PATH_SEPARATOR + "tarvex.ini";
}

std::string LoadUserSetting(std::string_view key, std::string_view def) {
    const std::string path = UserSettingsPath();
    if (path.empty())
        return std::string(def);
    return ProfileFileGet(path, SECTION, key, def, VALUE_SIZE);
}

int SaveUserSetting(std::string_view key, std::string_view value) {
    const std::string folder = UserSettingsFolder();
    if (folder.empty()) {
        errno = ENOENT;
        return 0;
    }
    if (!MakeUserSettingsFolder(folder))
        return 0;
    return ProfileFileSet(UserSettingsPath(), SECTION, key, value);
}
