// Ctrl-C and a request to end (SIGINT and SIGTERM; the console's Ctrl-C,
// Ctrl-Break and close on Windows) call onInterrupt from a thread of their
// own instead of killing the program, so the run ends in order: the link
// stopped, the port saved. Also the system-specific set-up of the console.
#pragma once

#include <cstdio>
#include <functional>
#include <thread>

class InterruptWatch {
public:
    // Starts watching; on POSIX before the link worker starts, so it
    // inherits the blocked signals.
    explicit InterruptWatch(std::function<void()> onInterrupt);
    // Stops watching (an interrupt that has not come by then is not taken).
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    std::thread m_waiter;
};

// A closed output (tarvex-read ... | head -1) fails the write instead of
// ending the run, so the download, the file and the saved port are kept.
void IgnoreBrokenPipe();

// Whether stream is a terminal (progress is then redrawn in place).
bool IsTerminal(std::FILE* stream);
