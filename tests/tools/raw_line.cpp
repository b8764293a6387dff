#include "raw_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

RawLine::RawLine(const std::string& szDevice) {
    m_nFd = open(szDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_nFd < 0) {
        ADD_FAILURE() << "cannot open " << szDevice;
        return;
    }
    termios tio{};
    tcgetattr(m_nFd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_nFd, TCSANOW, &tio);
    tcflush(m_nFd, TCIOFLUSH);
}

RawLine::~RawLine() {
    if (m_nFd >= 0)
        close(m_nFd);
}

void RawLine::Send(const Bytes& bytes) {
    ASSERT_EQ(write(m_nFd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes RawLine::Read(size_t n, int nTimeoutMs) {
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (got.size() < n) {
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeft <= 0)
            break;
        pollfd pfd{m_nFd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(nLeft)) <= 0)
            continue;
        uint8_t buffer[256];
        const ssize_t nRead = read(m_nFd, buffer, std::min(sizeof buffer, n - got.size()));
        if (nRead > 0)
            got.insert(got.end(), buffer, buffer + nRead);
    }
    return got;
}

Bytes RawLine::ReadSome(int nTimeoutMs) {
    Bytes got = Read(1, nTimeoutMs);
    uint8_t buffer[256];
    const ssize_t nRead = read(m_nFd, buffer, sizeof buffer);
    if (nRead > 0)
        got.insert(got.end(), buffer, buffer + nRead);
    return got;
}

Bytes WithChecksum(Bytes frame) {
    unsigned nSum = 0;
    for (uint8_t b : frame)
        nSum += b;
    frame.push_back(static_cast<uint8_t>(nSum & 0xFF));
    frame.push_back(static_cast<uint8_t>((nSum >> 8) & 0xFF));
    return frame;
}

Bytes RecordRequest(int nIndex) {
    return WithChecksum({1, 7, 10, static_cast<uint8_t>(nIndex & 0xFF),
                         static_cast<uint8_t>((nIndex >> 8) & 0xFF)});
}

bool ChecksumIsRight(const Bytes& frame) {
    return frame.size() >= 2 && WithChecksum(Bytes(frame.begin(), frame.end() - 2)) == frame;
}
