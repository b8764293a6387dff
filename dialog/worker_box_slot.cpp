#include "dialog/worker_box_slot.h"

void WorkerBoxSlot::Request(std::string textCp1251, int style,
                            const std::function<void()>& notify) {
    uint64_t nTicket;
    {
        std::lock_guard lock(m_mutex);
        m_szText = std::move(textCp1251);
        m_nStyle = style;
        m_bPending = true;
        nTicket = ++m_nRequested;
    }
    notify();
    std::unique_lock lock(m_mutex);
    m_served.wait(lock, [&] { return m_nServed >= nTicket; });
}

bool WorkerBoxSlot::Serve(const ShowFn& show) {
    std::string szText;
    int nStyle;
    uint64_t nTicket;
    {
        std::lock_guard lock(m_mutex);
        if (!m_bPending)
            return false;
        // Taken before showing: a second notification finds nothing to show.
        m_bPending = false;
        szText = m_szText;
        nStyle = m_nStyle;
        nTicket = m_nRequested;
    }
    show(szText, nStyle);
    {
        std::lock_guard lock(m_mutex);
        m_nServed = nTicket;
    }
    m_served.notify_all();
    return true;
}

bool WorkerBoxSlot::IsPending() const {
    std::lock_guard lock(m_mutex);
    return m_bPending;
}
