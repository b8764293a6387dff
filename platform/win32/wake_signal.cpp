#include "platform/wake_signal.h"

#include <windows.h>

// A manual-reset event: set by Notify, cleared by Drain.
WakeSignal::WakeSignal()
    : m_native(reinterpret_cast<intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

WakeSignal::~WakeSignal() {
    if (m_native != 0)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_native));
}

void WakeSignal::Notify() {
    if (m_native != 0)
        ::SetEvent(reinterpret_cast<HANDLE>(m_native));
}

void WakeSignal::Drain() {
    if (m_native != 0)
        ::ResetEvent(reinterpret_cast<HANDLE>(m_native));
}

void WakeSignal::Wait(int timeoutMs) const {
    const DWORD ms = timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs);
    if (m_native != 0)
        ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_native), ms);
    else
        ::Sleep(ms);
}
