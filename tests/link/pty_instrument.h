// A pseudo-terminal whose master side a test drives as the instrument: a
// thread reads the frames the link sends and answers them through a handler.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Frames received by several instruments, in the order they came.
class FrameLog {
public:
    void Add(int port, const Bytes& frame);
    std::vector<std::pair<int, Bytes>> Entries() const;
    // Ports in the order they received frames, runs of one port collapsed.
    std::vector<int> PortRuns() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<int, Bytes>> m_entries;
};

class PtyInstrument {
public:
    // Called on the instrument's thread for every frame; nth counts the frames
    // with this frame's code so far (1 for the first). Returns the answer.
    using Handler = std::function<Bytes(PtyInstrument& self, const Bytes& frame, int nth)>;

    explicit PtyInstrument(int port = 0, FrameLog* pLog = nullptr);
    ~PtyInstrument();
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    const std::string& Path() const { return m_path; }
    // Installs the handler and starts answering; without one nothing is answered.
    void Run(Handler handler = {});
    void Write(const Bytes& bytes);
    // The other end of the line goes away, as when an adapter is unplugged.
    void HangUp();

    int Count(uint8_t code) const;
    std::vector<Bytes> Frames() const;
    // Waits until n frames with this code have come in.
    bool WaitForCount(uint8_t code, int n, std::chrono::milliseconds timeout) const;
    // True once nobody holds the device open (the link closed its port).
    bool WaitUntilClosed(std::chrono::milliseconds timeout) const;

private:
    void Loop();
    void Signal();
    void TakeFrames();

    int m_nPort;
    FrameLog* m_pLog;
    int m_nMaster = -1;
    int m_nStopFd = -1;
    std::string m_path;
    Handler m_handler;
    std::thread m_thread;
    Bytes m_pending;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Bytes> m_frames;
    bool m_bStopping = false;
    bool m_bHangUp = false;
};

// Handlers for the usual instruments.
Bytes EchoPresence(const Bytes& frame);
// A valid reply frame with this code and payload.
Bytes MakeReply(uint8_t code, const Bytes& payload);
