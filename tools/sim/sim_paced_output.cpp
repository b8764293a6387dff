#include "sim_paced_output.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

int64_t PacedOutput::Queue(const uint8_t* bytes, size_t n, int64_t nStartNs) {
    int64_t nTime = std::max(nStartNs, m_nLineFreeNs);
    for (size_t i = 0; i < n; ++i) {
        nTime += m_nByteNs;
        m_queue.push_back({nTime, bytes[i]});
    }
    m_nLineFreeNs = nTime;
    return nTime;
}

bool PacedOutput::Flush(int fd, int64_t nNowNs) {
    std::vector<uint8_t> due;
    for (const Entry& entry : m_queue) {
        if (entry.m_nDueNs > nNowNs)
            break;
        due.push_back(entry.m_nByte);
    }
    if (due.empty())
        return true;
    const ssize_t nWritten = write(fd, due.data(), due.size());
    if (nWritten > 0)
        m_queue.erase(m_queue.begin(), m_queue.begin() + nWritten);
    if (nWritten < 0 && errno != EAGAIN && errno != EINTR) {
        // The line is gone for good: these bytes are lost, as on a cut cable.
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(due.size()));
        return true;
    }
    return nWritten == static_cast<ssize_t>(due.size());
}
