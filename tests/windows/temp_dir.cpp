// TempDir for the shared tests built for Windows: a Cyrillic name, so that
// every one of them also runs on a path the ANSI calls cannot open.
#include "tests/support/sim_process.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/wide_text.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> made{0};
    const fs::path folder =
        fs::temp_directory_path() /
        fs::path(Widen("tarvex-проба-" + std::to_string(::GetCurrentProcessId()) + "-" +
                       std::to_string(made++)));
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!fs::create_directories(folder, ec))
        ADD_FAILURE() << "cannot make " << Narrow(folder.wstring()) << ": " << ec.message();
    m_path = Narrow(folder.wstring());
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(fs::path(Widen(m_path)), ec);
}
