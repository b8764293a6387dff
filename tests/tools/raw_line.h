// The test's end of the simulator's line, opened the way any serial program
// would: plain open(), raw termios, reads against deadlines.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class RawLine {
public:
    explicit RawLine(const std::string& szDevice);
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool IsOpen() const { return m_nFd >= 0; }
    void Send(const Bytes& bytes);
    // Reads until n bytes are in or nTimeoutMs has passed; returns what came.
    Bytes Read(size_t n, int nTimeoutMs = 3000);
    // The bytes of the first read that returns any, after waiting up to nTimeoutMs.
    Bytes ReadSome(int nTimeoutMs = 3000);
    // Whatever arrives within nMs (used to show that nothing comes).
    Bytes ReadFor(int nMs) { return Read(SIZE_MAX, nMs); }

private:
    int m_nFd = -1;
};

// Adds the 16-bit sum, low byte first, as the instrument's frames carry it.
Bytes WithChecksum(Bytes frame);
Bytes RecordRequest(int nIndex);
bool ChecksumIsRight(const Bytes& frame);

using Clock = std::chrono::steady_clock;
inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
