// What the link tests share: every COM number pointed somewhere known, an
// instrument played on a pseudo-terminal, and the texts the link reports.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/instrument_link.h"
#include "tests/support/queue_target.h"
#include "tests/support/sim_process.h"
#include "tests/tools/pty_line.h"

using namespace std::chrono_literals;

inline const std::string FOUND_COM2 = " Связь установлена по COM2 ";
inline const std::string NOT_FOUND = " Связь НЕ установлена.";
inline const std::string WAITING = " Ожидание ответа.";
inline const std::string RECEIVED = " Oтвет получен."; // Latin capital O
inline const std::string NO_ANSWER = "!!! Нет ответа";
inline const Bytes PRESENCE(PRESENCE_FRAME, PRESENCE_FRAME + 5);
inline const Bytes POSITION_REQUEST = {1, 5, 11, 17, 0};
inline const Bytes POSITION_REPLY = {1, 7, 11, 0xD2, 0x04, 0xE9, 0x00};

// The ports in the order they received frames, runs of one port collapsed.
inline std::mutex g_portRunsMutex;
inline std::vector<int> g_portRuns;

// Points COM0..COM9 at the given devices and every other one at a path that
// does not exist, so no test ever opens a real serial port of the machine.
// A new set of ports starts a new record of port runs.
using ComPorts = std::vector<std::unique_ptr<ScopedComPort>>;
inline ComPorts PointPorts(const std::map<int, std::string>& devices = {}) {
    // No adapter of the machine joins the search either.
    setenv("TARVEX_SERIAL_BY_ID", "/nonexistent/tarvex-by-id", 1);
    setenv("TARVEX_SERIAL_DEV", "/nonexistent/tarvex-dev", 1);
    ComPorts ports;
    for (int n = 0; n <= 9; ++n)
        ports.push_back(std::make_unique<ScopedComPort>(
            n, devices.count(n) != 0 ? devices.at(n) : "/nonexistent/tarvex-com"));
    std::lock_guard lock(g_portRunsMutex);
    g_portRuns.clear();
    return ports;
}

inline std::vector<int> PortRuns() {
    std::lock_guard lock(g_portRunsMutex);
    return g_portRuns;
}

// Plays the instrument: a thread takes the well-formed frames the link sends
// (their length is in byte 1) and answers each through the handler, where nth counts the
// frames with that code so far. Without a handler it stays silent.
class Instrument {
public:
    using Handler = std::function<Bytes(PtyLine& line, const Bytes& frame, int nth)>;
    explicit Instrument(int port, Handler handler = {})
        : m_nPort(port), m_handler(std::move(handler)), m_thread([this] { Loop(); }) {}
    ~Instrument() { HangUp(); }

    const std::string& Path() const { return m_line.Path(); }
    termios Settings() const { return m_line.Settings(); }
    // The other end of the line goes away, as when an adapter is unplugged.
    void HangUp() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_line.Close();
    }
    // Frames with this code received so far, once at least n have come or timeout has passed.
    int Count(uint8_t code, int n = 0, std::chrono::milliseconds timeout = 0ms) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_counts[code] >= n; });
        return m_counts[code];
    }

private:
    static bool WellFormed(const Bytes& bytes) {
        if (bytes.size() < 5 || bytes[0] != 1 || bytes[1] < 5 || bytes[1] > 16 ||
            bytes.size() < bytes[1])
            return false;
        uint8_t sum = 0;
        for (int i = 0; i < bytes[1] - 2; ++i)
            sum = static_cast<uint8_t>(sum + bytes[i]);
        return sum == bytes[bytes[1] - 2];
    }

    void Loop() {
        Bytes pending;
        while (!m_bStop) {
            const Bytes got = m_line.Read(1, 20);
            pending.insert(pending.end(), got.begin(), got.end());
            while (!pending.empty()) {
                // A well-formed frame is taken whole; a byte that cannot begin
                // one (as after part of a frame was flushed) is dropped alone.
                if (pending.size() >= 2 && pending.size() < pending[1] && pending[0] == 1 &&
                    pending[1] >= 5 && pending[1] <= 16)
                    break; // the rest is on its way
                if (pending.size() < 2 && pending[0] == 1)
                    break;
                if (!WellFormed(pending)) {
                    pending.erase(pending.begin());
                    continue;
                }
                const Bytes frame(pending.begin(), pending.begin() + pending[1]);
                pending.erase(pending.begin(), pending.begin() + static_cast<long>(frame.size()));
                int nth;
                {
                    std::lock_guard lock(m_mutex), logLock(g_portRunsMutex);
                    nth = ++m_counts[frame[2]];
                    if (g_portRuns.empty() || g_portRuns.back() != m_nPort)
                        g_portRuns.push_back(m_nPort);
                    m_changed.notify_all();
                }
                const Bytes answer = m_handler ? m_handler(m_line, frame, nth) : Bytes{};
                if (!answer.empty())
                    m_line.Send(answer);
            }
        }
    }

    PtyLine m_line;
    const int m_nPort;
    const Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<uint8_t, int> m_counts;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// Presence echoed; the position request answered from its nth copy on.
inline Instrument::Handler AnswerFrom(int nth) {
    return [nth](PtyLine&, const Bytes& frame, int n) -> Bytes {
        if (frame == PRESENCE)
            return frame;
        return frame[2] == CMD_READ_POSITION && n >= nth ? POSITION_REPLY : Bytes{};
    };
}
