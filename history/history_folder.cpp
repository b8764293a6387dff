// The history's folder, made alike on every system. The path is UTF-8: a
// char8_t path keeps Cyrillic names whole on Windows too.
#include <filesystem>
#include <system_error>

#include "history/history_path.h"

namespace history {

int ensureParentFolder(const std::string& path) {
    const std::u8string utf8(path.begin(), path.end());
    const std::filesystem::path parent = std::filesystem::path(utf8).parent_path();
    if (parent.empty())
        return 0;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    return ec ? ec.value() : 0;
}

} // namespace history
