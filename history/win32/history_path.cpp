// The history's place on Windows: %LOCALAPPDATA%\Tarvex\history.sqlite3,
// unless $TARVEX_DATABASE or the settings name another.
#include "history/history_path.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace history {

std::string environmentHistory() {
    wchar_t chosen[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"TARVEX_DATABASE", chosen, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? Narrow(chosen) : std::string();
}

std::string localHistoryPath() {
    wchar_t local[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return Narrow(local) + "\\Tarvex\\history.sqlite3";
}

} // namespace history
