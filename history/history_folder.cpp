// The history's folder, made alike on every system.
#include <filesystem>
#include <system_error>

#include "history/history_path.h"
#include "platform/file_names.h"

namespace history {

int ensureParentFolder(const std::string& path) {
    const std::filesystem::path parent = FsPath(path).parent_path();
    if (parent.empty())
        return 0;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    return ec ? ec.value() : 0;
}

} // namespace history
