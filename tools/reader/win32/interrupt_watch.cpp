#include "tools/reader/interrupt_watch.h"

#include <io.h>
#include <mutex>
#include <windows.h>

namespace {

// The console calls its handler on a thread of its own; the one watch of the
// program is reached through here.
std::mutex g_mutex;
std::function<void()> g_onInterrupt;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: {
        std::lock_guard lock(g_mutex);
        if (g_onInterrupt)
            g_onInterrupt();
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) {
    {
        std::lock_guard lock(g_mutex);
        g_onInterrupt = std::move(onInterrupt);
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard lock(g_mutex);
    g_onInterrupt = nullptr;
}

void IgnoreBrokenPipe() {
    // Windows has no SIGPIPE: a write to a closed pipe fails by itself.
}

bool IsTerminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}
