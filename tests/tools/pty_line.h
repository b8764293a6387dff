// One end of a serial line for tests: either a fresh pseudo-terminal whose
// master side the test drives as the instrument (Path() names the device the
// program under test opens), or an existing device such as the simulator's.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

class PtyLine {
public:
    PtyLine() : m_nFd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        char name[128];
        if (m_nFd < 0 || grantpt(m_nFd) != 0 || unlockpt(m_nFd) != 0 ||
            ptsname_r(m_nFd, name, sizeof name) != 0)
            ADD_FAILURE() << "no pseudo-terminal";
        else
            m_szPath = name;
    }
    // The simulator keeps its line raw itself, so a plain open suffices.
    explicit PtyLine(const std::string& device)
        : m_nFd(open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)), m_szPath(device) {
        if (m_nFd < 0)
            ADD_FAILURE() << "cannot open " << device;
    }
    ~PtyLine() { Close(); }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    const std::string& Path() const { return m_szPath; }
    // This end goes away: for a pseudo-terminal the device hangs up.
    void Close() {
        if (m_nFd >= 0)
            close(std::exchange(m_nFd, -1));
    }
    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(m_nFd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The line settings of the device, read back through this end (a
    // pseudo-terminal's master reports those of its device side).
    termios Settings() const {
        termios tio{};
        EXPECT_EQ(tcgetattr(m_nFd, &tio), 0);
        return tio;
    }
    // Bytes are waiting to be read.
    bool Pending() const {
        pollfd pfd{m_nFd, POLLIN, 0};
        return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
    }
    // Reads until n bytes are in or timeoutMs has passed; returns what came.
    Bytes Read(size_t n, int timeoutMs = 3000) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Bytes got;
        while (got.size() < n && Clock::now() < deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd pfd{m_nFd, POLLIN, 0};
            uint8_t buffer[256];
            ssize_t nRead = -1;
            if (poll(&pfd, 1, static_cast<int>(left.count())) > 0 && (pfd.revents & POLLIN) != 0)
                nRead = read(m_nFd, buffer, std::min(sizeof buffer, n - got.size()));
            if (nRead > 0)
                got.insert(got.end(), buffer, buffer + nRead);
            else if (pfd.revents != 0)
                poll(nullptr, 0,
                     5); // a master with no one on the other side reports a hang-up at once
        }
        return got;
    }

private:
    int m_nFd = -1;
    std::string m_szPath;
};
