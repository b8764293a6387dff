#include "platform/wake_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

WakeSignal::WakeSignal() : m_native(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal() {
    if (m_native >= 0)
        ::close(static_cast<int>(m_native));
}

void WakeSignal::Notify() {
    if (m_native < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(static_cast<int>(m_native), &one, sizeof one);
}

void WakeSignal::Drain() {
    uint64_t count;
    while (m_native >= 0 && ::read(static_cast<int>(m_native), &count, sizeof count) > 0) {
    }
}

void WakeSignal::Wait(int timeoutMs) const {
    pollfd pfd{static_cast<int>(m_native), POLLIN, 0};
    ::poll(&pfd, 1, timeoutMs < 0 ? 0 : timeoutMs);
}
