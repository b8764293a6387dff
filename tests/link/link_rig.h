// What the link tests share: every COM number pointed somewhere known, a
// queueing target and the link, torn down in the right order.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/instrument_link.h"
#include "tests/link/pty_instrument.h"
#include "tests/support/queue_target.h"
#include "tests/support/sim_process.h"

using namespace std::chrono_literals;

// Points COM0..COM9 at the given devices and every other one at a path that
// does not exist, so no test ever opens a real serial port of the machine.
class ComPorts {
public:
    explicit ComPorts(const std::map<int, std::string>& devices = {}) {
        for (int n = 0; n <= 9; ++n) {
            const auto it = devices.find(n);
            m_ports.push_back(std::make_unique<ScopedComPort>(
                n,
                it != devices.end() ? it->second : "/nonexistent/tarvex-com" + std::to_string(n)));
        }
    }

private:
    std::vector<std::unique_ptr<ScopedComPort>> m_ports;
};

inline std::optional<LinkEvent> WaitStatus(QueueTarget& target, const std::string& text,
                                           std::chrono::milliseconds timeout = 10s,
                                           std::vector<LinkEvent>* pSkipped = nullptr) {
    return target.WaitFor(LinkEvent::Status, text, timeout, pSkipped);
}

inline Bytes PositionRequest() {
    Bytes frame(7);
    frame.resize(static_cast<size_t>(BuildCommandFrame(frame.data(), CMD_READ_POSITION)));
    return frame;
}

inline const Bytes POSITION_REPLY = MakeReply(CMD_READ_POSITION, {0xD2, 0x04});

// Presence echoed, the position request answered from its nth copy on.
inline PtyInstrument::Handler AnswerFrom(int nth) {
    return [nth](PtyInstrument&, const Bytes& frame, int n) -> Bytes {
        if (frame[2] == CMD_PRESENCE)
            return EchoPresence(frame);
        return frame[2] == CMD_READ_POSITION && n >= nth ? POSITION_REPLY : Bytes{};
    };
}

// Process CPU time in seconds, all threads.
double ProcessCpuSeconds();
