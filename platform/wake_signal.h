// Wakes a thread that waits for a serial port or for a pause: a request or
// a stop ends the wait at once. Notifications not yet drained count as one.
#pragma once

#include <cstdint>

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void Notify();
    // Forgets the notifications so far.
    void Drain();
    // Waits up to timeoutMs for a notification not yet drained.
    void Wait(int timeoutMs) const;
    // What the system waits on: an eventfd on POSIX (-1 when none could be
    // made), an event object's HANDLE on Windows.
    intptr_t Native() const { return m_native; }

private:
    intptr_t m_native;
};
