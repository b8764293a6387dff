// The instrument's transmit side: bytes leave one after another, each when it
// would be complete on a 9600-baud line (or all at once without pacing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

class PacedOutput {
public:
    // nByteNs: the line time of one byte; 0 sends queued bytes as soon as due.
    explicit PacedOutput(int64_t nByteNs) : m_nByteNs(nByteNs) {}

    // Queues bytes to start no earlier than nStartNs and not before the bytes
    // already queued have gone. Returns the time the last of them is due.
    int64_t Queue(const uint8_t* bytes, size_t n, int64_t nStartNs);
    // Writes every byte due by nNowNs. Returns false when fd would block.
    bool Flush(int fd, int64_t nNowNs);

    bool Empty() const { return m_queue.empty(); }
    size_t Size() const { return m_queue.size(); }
    int64_t NextDueNs() const { return m_queue.front().m_nDueNs; }

private:
    struct Entry {
        int64_t m_nDueNs;
        uint8_t m_nByte;
    };
    std::deque<Entry> m_queue;
    int64_t m_nByteNs;
    int64_t m_nLineFreeNs = 0;
};
