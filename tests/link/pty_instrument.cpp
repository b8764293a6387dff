#include "tests/link/pty_instrument.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "link/frame.h"

void FrameLog::Add(int port, const Bytes& frame) {
    std::lock_guard lock(m_mutex);
    m_entries.emplace_back(port, frame);
}

std::vector<std::pair<int, Bytes>> FrameLog::Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<int> FrameLog::PortRuns() const {
    std::vector<int> runs;
    for (const auto& [port, frame] : Entries())
        if (runs.empty() || runs.back() != port)
            runs.push_back(port);
    return runs;
}

PtyInstrument::PtyInstrument(int port, FrameLog* pLog) : m_nPort(port), m_pLog(pLog) {
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
    }
    char name[128];
    if (ptsname_r(m_nMaster, name, sizeof name) == 0)
        m_path = name;
    m_nStopFd = eventfd(0, EFD_CLOEXEC);
}

PtyInstrument::~PtyInstrument() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_bStopping = true;
        }
        Signal();
        m_thread.join();
    }
    if (m_nMaster >= 0)
        close(m_nMaster);
    if (m_nStopFd >= 0)
        close(m_nStopFd);
}

void PtyInstrument::Signal() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(m_nStopFd, &one, sizeof one);
}

void PtyInstrument::Run(Handler handler) {
    m_handler = std::move(handler);
    m_thread = std::thread(&PtyInstrument::Loop, this);
}

void PtyInstrument::Write(const Bytes& bytes) {
    int master;
    {
        std::lock_guard lock(m_mutex);
        master = m_nMaster;
    }
    size_t done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

void PtyInstrument::HangUp() {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable()) {
        close(m_nMaster);
        m_nMaster = -1;
        return;
    }
    // The reading thread closes the master itself, so it never polls a stale descriptor.
    m_bHangUp = true;
    lock.unlock();
    Signal();
    lock.lock();
    m_changed.wait(lock, [&] { return m_nMaster < 0; });
}

void PtyInstrument::Loop() {
    for (;;) {
        int master;
        {
            std::lock_guard lock(m_mutex);
            master = m_nMaster;
        }
        pollfd pfds[2] = {{m_nStopFd, POLLIN, 0}, {master, POLLIN, 0}};
        // While no one holds the device open the master reports a hang-up at
        // once; look again a little later rather than spin.
        const int n = poll(pfds, master >= 0 ? 2 : 1, -1);
        if (n < 0)
            continue;
        if (pfds[0].revents != 0) {
            uint64_t count;
            [[maybe_unused]] ssize_t r = read(m_nStopFd, &count, sizeof count);
            std::lock_guard lock(m_mutex);
            if (m_bStopping)
                return;
            if (m_bHangUp && m_nMaster >= 0) {
                close(m_nMaster);
                m_nMaster = -1;
                m_changed.notify_all();
            }
            continue;
        }
        if (master < 0)
            continue;
        if ((pfds[1].revents & POLLIN) == 0) {
            poll(pfds, 1, 5);
            continue;
        }
        uint8_t buffer[512];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) {
            poll(pfds, 1, 5);
            continue;
        }
        m_pending.insert(m_pending.end(), buffer, buffer + got);
        TakeFrames();
    }
}

void PtyInstrument::TakeFrames() {
    // The link's frames carry their length in byte 1.
    while (m_pending.size() >= 2 && m_pending.size() >= std::max<size_t>(m_pending[1], 2)) {
        const size_t length = m_pending[1] < 2 ? m_pending.size() : m_pending[1];
        Bytes frame(m_pending.begin(), m_pending.begin() + static_cast<long>(length));
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(length));
        if (m_pLog != nullptr)
            m_pLog->Add(m_nPort, frame);
        int nth;
        {
            std::lock_guard lock(m_mutex);
            m_frames.push_back(frame);
            nth = static_cast<int>(std::count_if(m_frames.begin(), m_frames.end(), [&](auto& f) {
                return f.size() > 2 && f[2] == frame[2];
            }));
            m_changed.notify_all();
        }
        if (m_handler) {
            const Bytes answer = m_handler(*this, frame, nth);
            if (!answer.empty())
                Write(answer);
        }
    }
}

int PtyInstrument::Count(uint8_t code) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_frames.begin(), m_frames.end(),
                                          [&](auto& f) { return f.size() > 2 && f[2] == code; }));
}

std::vector<Bytes> PtyInstrument::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

bool PtyInstrument::WaitForCount(uint8_t code, int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        return std::count_if(m_frames.begin(), m_frames.end(),
                             [&](auto& f) { return f.size() > 2 && f[2] == code; }) >= n;
    });
}

bool PtyInstrument::WaitUntilClosed(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int master;
    {
        std::lock_guard lock(m_mutex);
        master = m_nMaster;
    }
    // The master reports POLLHUP as soon as the last holder of the device closes it.
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{master, 0, 0};
        if (poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLHUP) != 0)
            return true;
    }
    return false;
}

Bytes EchoPresence(const Bytes& frame) {
    if (frame == Bytes(PRESENCE_FRAME, PRESENCE_FRAME + 5))
        return frame;
    return {};
}

Bytes MakeReply(uint8_t code, const Bytes& payload) {
    Bytes frame = {1, static_cast<uint8_t>(payload.size() + 5), code};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.resize(frame.size() + 2);
    AppendChecksum(frame.data(), static_cast<int>(frame.size()) - 2);
    return frame;
}

#include <sys/resource.h>

#include "tests/link/link_rig.h"

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
