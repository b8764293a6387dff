// Hands a message box from the link worker to the GUI thread: the worker
// places the request and waits; the GUI thread shows the box and releases it.
// One worker, so one slot is enough.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class WorkerBoxSlot {
public:
    using ShowFn = std::function<void(const std::string& textCp1251, int style)>;

    // Worker thread: stores the box, calls notify (which wakes the GUI thread)
    // and returns once the box has been served.
    void Request(std::string textCp1251, int style, const std::function<void()>& notify);

    // GUI thread: shows the pending box, if any, then releases the worker.
    // Returns true when a box was served.
    bool Serve(const ShowFn& show);

    bool IsPending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_served;
    std::string m_szText;
    int m_nStyle = 0;
    bool m_bPending = false;
    uint64_t m_nRequested = 0;
    uint64_t m_nServed = 0;
};
