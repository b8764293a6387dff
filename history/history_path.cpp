#include "history/history_path.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace history {

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

} // namespace

std::string environmentHistory() {
    const char* chosen = std::getenv("TARVEX_DATABASE");
    return chosen != nullptr ? chosen : "";
}

std::string localHistoryPath() {
    std::string data;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        data = xdg;
    } else {
        const std::string home = homeFolder();
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    return data + "/tarvex/history.sqlite3";
}

int ensureParentFolder(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty())
        return 0;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    return ec ? ec.value() : 0;
}

} // namespace history
