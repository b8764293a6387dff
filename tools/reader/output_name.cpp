#include "tools/reader/output_name.h"

#include <cerrno>
#include <filesystem>

#include "platform/file_names.h"

namespace {

// Enough for any number of runs a second can hold in practice; beyond it
// something else fills the folder and the write is refused.
constexpr int MAX_NTH = 999;

} // namespace

std::string StampedName(exports::ResultsForm form, std::time_t t, int nth) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char stamp[64];
    // Year first, so that a folder listed by name is in the order of the runs.
    if (std::strftime(stamp, sizeof stamp, "results_%Y-%m-%d_%H-%M-%S", &local) == 0)
        return {};
    std::string name = stamp;
    if (nth > 1) {
        name += '_';
        name += std::to_string(nth);
    }
    return name + "." + std::string(exports::FormSuffix(form));
}

OutputName::OutputName(std::string path) : m_szPath(std::move(path)) {}

OutputName::OutputName(std::string folder, exports::ResultsForm form, std::time_t t)
    : m_szFolder(std::move(folder)), m_form(form), m_time(t) {
    Compose();
}

void OutputName::Compose() {
    const std::string name = StampedName(m_form, m_time, m_nNth);
    if (name.empty()) {
        m_szPath.clear();
        return;
    }
    m_szPath = m_szFolder.back() == '/' ? m_szFolder + name : m_szFolder + "/" + name;
}

bool OutputName::Next() {
    if (!Stamped() || m_szPath.empty() || m_nNth >= MAX_NTH)
        return false;
    ++m_nNth;
    Compose();
    return true;
}

int MakeFolders(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path path = FsPath(folder);
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error))
        return ENOTDIR;
    return error.value();
}
