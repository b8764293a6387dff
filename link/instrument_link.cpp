#include "link/instrument_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#include "link/link_worker.h"
#include "platform/codepage.h"
#include "platform/serial_port.h"
#include "platform/thread_priority.h"
#include "platform/wake_signal.h"

namespace {

constexpr int STOP_SERVE_MS = 10; // Stop serves the target's boxes this often

} // namespace

int64_t InstrumentLink::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

InstrumentLink::InstrumentLink()
    : m_pWorker(std::make_unique<Worker>()), m_hPort(std::make_unique<SerialPort>()),
      m_pWake(std::make_unique<WakeSignal>()) {}

InstrumentLink::~InstrumentLink() {
    Stop();
}

int InstrumentLink::Start(LinkNotifyTarget* pTarget) {
    if (m_pWorkerThread.joinable()) {
        if (Running())
            return 1; // one worker per link
        Stop();       // reap a worker that ended after a failed search
    }
    m_hNotifyWnd = pTarget;
    m_bRunning.store(1, std::memory_order_release);
    m_bExited.store(0, std::memory_order_release);
    try {
        m_pWorkerThread = std::thread(&InstrumentLink::LinkWorker, this);
    } catch (const std::system_error&) {
        m_bRunning.store(0, std::memory_order_release);
        m_bExited.store(1, std::memory_order_release);
        return 0;
    }
    return 1;
}

int InstrumentLink::Stop() {
    if (Running()) {
        m_bRunning.store(0, std::memory_order_release);
        m_pWake->Notify();
    }
    if (m_pWorkerThread.joinable()) {
        // The worker may be inside a message box that has to be shown by this
        // very thread, so keep serving the target until the worker is gone.
        Worker& w = *m_pWorker;
        while (m_bExited.load(std::memory_order_acquire) == 0) {
            if (m_hNotifyWnd != nullptr)
                m_hNotifyWnd->ServeWhileStopping();
            std::unique_lock lock(w.exitMutex);
            w.exitChanged.wait_for(lock, std::chrono::milliseconds(STOP_SERVE_MS),
                                   [&] { return m_bExited.load(std::memory_order_acquire) != 0; });
        }
        m_pWorkerThread.join();
    }
    if (m_hPort->IsOpen()) {
        m_hPort->Purge();
        m_hPort->Close();
    }
    return 0;
}

int InstrumentLink::SendFrame(const uint8_t* bytes, int count) {
    if (!Running() || !m_hPort->IsOpen())
        return 0;
    m_hPort->LineErrors(); // clears what is pending; the word is not used here
    m_hPort->Purge();
    return m_hPort->Write(bytes, count);
}

int InstrumentLink::PortNumber(int n) {
    if (n != -1)
        m_nPort.store(n, std::memory_order_release);
    return m_nPort.load(std::memory_order_acquire);
}

void InstrumentLink::PostStatus(const char* textUtf8) {
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->PostLinkStatus(Utf8ToCp1251(textUtf8));
}

int InstrumentLink::PlaceRequest(const uint8_t* frame, int length, int replyTimeoutMs) {
    if (m_bTxRequest.load(std::memory_order_acquire) != 0 || DeviceGone())
        return 0;
    // The worker marks a request as sent before it frees the mailbox, so a
    // free mailbox read first and then this state tell the truth together.
    const int32_t state = m_nLinkState.load(std::memory_order_acquire);
    if (state == LINK_SENT || state == LINK_RETRY)
        return 0;
    if (frame == nullptr || length <= 0 || length > static_cast<int>(sizeof m_txBuffer))
        return 0;
    std::memcpy(m_txBuffer, frame, static_cast<size_t>(length));
    m_nTxLength.store(length, std::memory_order_release);
    m_nReplyTimeout.store(replyTimeoutMs, std::memory_order_release);
    m_bTxRequest.store(1, std::memory_order_release);
    m_pWake->Notify();
    return 1;
}

void InstrumentLink::DrainWake() {
    m_pWake->Drain();
}

void InstrumentLink::PauseOnWake(int timeoutMs) {
    m_pWake->Wait(timeoutMs);
    DrainWake();
}

void InstrumentLink::AwaitInput(int timeoutMs) {
    m_hPort->WaitForInput(timeoutMs, *m_pWake);
    DrainWake();
}

void InstrumentLink::LinkWorker() {
    LowerCallingThreadPriority();

    Worker& w = *m_pWorker;
    w.gatherer.Clear();
    w.r = 0;
    w.W = 0;
    w.E = 0;
    if (SearchPorts()) {
        w.t0 = NowMs();
        ServeRequests(w);
    }

    // The last touch of the link object; Stop may close the port after it.
    std::lock_guard lock(w.exitMutex);
    m_bExited.store(1, std::memory_order_release);
    w.exitChanged.notify_all();
}
