#include "history/history_path.h"

#include <cstdlib>
#include <pwd.h>
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

} // namespace history
