// The one connection to the instrument: a worker thread that finds the
// instrument on a serial port, serves a one-slot transmit mailbox, repeats
// late requests and reports replies and status texts to a LinkNotifyTarget.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "link/frame.h"
#include "link/link_endpoint.h"
#include "link/link_target.h"

class SerialPort;
class WakeSignal;

enum LinkState : int32_t {
    LINK_SENT = 0,
    LINK_READY = 1,
    LINK_RETRY = 2,
    LINK_NO_ANSWER = 3,
};

class InstrumentLink {
public:
    InstrumentLink();
    ~InstrumentLink(); // performs Stop
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // Starts the worker (port search, then the request cycle). 1 when it runs.
    int Start(LinkNotifyTarget* pTarget);
    // Ends the worker and closes the port; returns after the worker has ended,
    // serving the target's pending message boxes while it waits.
    int Stop();
    // Worker only: purge, then write the whole frame. Bytes written, 0 when stopped.
    int SendFrame(const uint8_t* bytes, int count);
    // Sets the port number unless n is -1; returns the current one.
    int PortNumber(int n);
    // Posts a status text (UTF-8 here, converted to Windows-1251 for the post).
    void PostStatus(const char* textUtf8);

    static int AppendChecksum(uint8_t* frame, int n) { return ::AppendChecksum(frame, n); }

    // Before Start: the adapter where the instrument answered last time, tried
    // before the saved port (empty: none).
    void SavedDevice(const std::string& device) { m_szSavedDevice = device; }
    // Before Start: search this device alone instead of the ports (empty: the
    // usual search). The COM number is then left as it is.
    void OnlyDevice(const std::string& device) { m_szOnlyDevice = device; }
    // What the settings should remember as the adapter once the search is
    // over: the adapter where the instrument answered, empty when it answered
    // on a COM port (forget any adapter); nothing when the search found
    // nothing, has not ended, or searched a device given with OnlyDevice.
    std::optional<std::string> DeviceToRemember() const;
    // Where the instrument answered (also on a device given with
    // OnlyDevice); before it has, the device given or the COM port that
    // PortNumber names. What the download log and the results file name.
    LinkEndpoint Endpoint() const;

    // Requester side of the mailbox: copies the frame, sets m_nTxLength and
    // m_nReplyTimeout, sets m_bTxRequest last and wakes the worker. Returns 1
    // when placed; 0 (nothing touched) when m_bTxRequest is still 1 or a
    // request is in flight (LINK_SENT, LINK_RETRY). The caller checks
    // m_nLinkState first as well, as each requester's rules say.
    int PlaceRequest(const uint8_t* frame, int length, int replyTimeoutMs);
    // 1 once the port has reported that the device is gone while serving
    // requests; the worker has then ended and nothing more is sent.
    int DeviceGone() const { return m_bDeviceGone.load(std::memory_order_acquire); }

    // Shared with the requester; written with release, read with acquire.
    std::atomic<int32_t> m_nTxLength{0};
    std::atomic<int32_t> m_nReplyTimeout{0};
    std::atomic<int32_t> m_bTxRequest{0};
    std::atomic<int32_t> m_nLinkState{LINK_READY};
    uint8_t m_txBuffer[512] = {};

private:
    struct Worker;
    void LinkWorker();
    bool SearchPorts();
    bool TryPort(const std::string& device, int* pError);
    bool PresenceExchange();
    static int64_t NowMs();
    void ServeRequests(Worker& w);
    bool TakeFrame(Worker& w); // false: not a reply (a copy, a stray frame, the echo)
    void CheckTimeOut(Worker& w, int64_t now);
    void Transmit(Worker& w, int64_t now);
    void SendRequestFrame(Worker& w); // the frame in the mailbox
    void SendOnce(Worker& w, const uint8_t* frame, int length);
    bool SettleOver(Worker& w, int64_t now);
    int NextWaitMs(const Worker& w, int64_t now);
    void OnDeviceGone();
    void AwaitInput(int timeoutMs);  // port input, a request or Stop ends the wait
    void PauseOnWake(int timeoutMs); // only a request or Stop ends the wait
    void DrainWake();
    int32_t Running() const { return m_bRunning.load(std::memory_order_acquire); }

    // Implementation details are free to change; the members above are the contract.
    std::unique_ptr<Worker> m_pWorker;
    std::unique_ptr<SerialPort> m_hPort;
    LinkNotifyTarget* m_hNotifyWnd = nullptr;
    std::thread m_pWorkerThread;
    std::atomic<int32_t> m_bAwaitingReply{0};
    std::atomic<int32_t> m_bRunning{0};
    std::atomic<int32_t> m_bExited{1};
    std::atomic<int32_t> m_nPort{2};
    std::atomic<int32_t> m_bDeviceGone{0};
    std::unique_ptr<WakeSignal> m_pWake; // a request or Stop wakes the worker at once
    std::string m_szSavedDevice;         // set before Start
    std::string m_szOnlyDevice;          // set before Start
    mutable std::mutex m_foundMutex;
    std::optional<std::string> m_foundDevice;    // guarded by m_foundMutex
    std::optional<LinkEndpoint> m_foundEndpoint; // guarded by m_foundMutex
};
