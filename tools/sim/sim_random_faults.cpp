#include "sim_random_faults.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int MAX_NOISE_BYTES = 8;

} // namespace

SimRandomFaults::SimRandomFaults(const SimOptions& options)
    : m_random(0xFA017ULL ^ (uint64_t(options.m_nFaultSeed) << 20)),
      m_nPercent(options.m_nFaultPercent), m_nLateMs(options.m_nFaultLateMs) {
    if (m_nPercent > 0 && !options.m_szFaultLogPath.empty()) {
        m_nLogFd =
            open(options.m_szFaultLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_nLogFd < 0)
            std::perror(("tarvex-sim: cannot open fault log " + options.m_szFaultLogPath).c_str());
    }
}

SimRandomFaults::~SimRandomFaults() {
    if (m_nLogFd >= 0)
        close(m_nLogFd);
}

SimFault SimRandomFaults::Next(int64_t nReply) {
    SimFault fault;
    if (m_nPercent <= 0 || m_random.Range(0, 99) >= m_nPercent)
        return fault;
    fault.m_kind = static_cast<SimFault::Kind>(m_random.Range(SimFault::DROP, SimFault::NOISE));
    if (fault.m_kind == SimFault::LATE)
        fault.m_nLateMs = m_random.Range(1, m_nLateMs);
    if (fault.m_kind == SimFault::NOISE) {
        fault.m_noise.resize(static_cast<size_t>(m_random.Range(1, MAX_NOISE_BYTES)));
        for (uint8_t& b : fault.m_noise)
            b = m_random.Byte();
    }
    if (m_nLogFd >= 0) {
        // One write per line: a reader never sees half a line.
        std::string szLine = std::to_string(nReply) + " " + SimFaultName(fault.m_kind);
        if (fault.m_kind == SimFault::LATE)
            szLine += " " + std::to_string(fault.m_nLateMs);
        szLine += "\n";
        [[maybe_unused]] const ssize_t n = write(m_nLogFd, szLine.data(), szLine.size());
    }
    return fault;
}

const char* SimFaultName(SimFault::Kind kind) {
    switch (kind) {
    case SimFault::DROP:
        return "drop";
    case SimFault::CORRUPT:
        return "corrupt";
    case SimFault::SPLIT:
        return "split";
    case SimFault::LATE:
        return "late";
    case SimFault::NOISE:
        return "noise";
    case SimFault::NONE:
        break;
    }
    return "none";
}
