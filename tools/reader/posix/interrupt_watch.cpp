#include "tools/reader/interrupt_watch.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) {
    const sigset_t signals = InterruptSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_waiter = std::thread([signals, onInterrupt = std::move(onInterrupt)] {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0)
            onInterrupt();
    });
}

InterruptWatch::~InterruptWatch() {
    // Releases the waiter (if no signal has come yet); it takes the SIGTERM
    // for its own, after the run has ended.
    pthread_kill(m_waiter.native_handle(), SIGTERM);
    m_waiter.join();
}

void IgnoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}
