#include "sim_run.h"

#include "sim_frames.h"
#include "sim_instrument.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_bStopRequested = 0;

void OnStopSignal(int) {
    g_bStopRequested = 1;
}

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Stop signals are blocked except while waiting in ppoll, so one that comes
// between two waits is not lost.
sigset_t InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    return waitMask;
}

// A program that leaves echo on sends every reply straight back to the
// instrument, which would then answer its own presence echo without end. Say so
// once; the terminal settings are the program's to choose.
void WarnIfEchoIsOn(int nMasterFd) {
    static bool s_bWarned = false;
    termios tio{};
    if (!s_bWarned && tcgetattr(nMasterFd, &tio) == 0 && (tio.c_lflag & ECHO)) {
        s_bWarned = true;
        std::fputs("tarvex-sim: the port has echo on; replies will come back as requests\n",
                   stderr);
    }
}

} // namespace

int RunSimulator(const SimOptions& options, const SimArchive& archive, PseudoTerminal& pty,
                 int nLogFd) {
    const sigset_t waitMask = InstallStopSignals();
    SimInstrument instrument(options, archive, nLogFd);
    RequestParser parser;
    std::vector<uint8_t> frame;
    const int64_t nByteNs = options.m_bPacing ? SIM_BYTE_NS : 0;
    int64_t nRxLineNs = 0;   // when the last received byte was complete on the line
    int64_t nLastReadNs = 0; // when bytes last came in, for the frame gap
    bool bWriteBlocked = false;

    while (!g_bStopRequested) {
        int64_t nNowNs = NowNs();
        if (!bWriteBlocked)
            bWriteBlocked = !instrument.Output().Flush(pty.m_nMasterFd, nNowNs);
        if (parser.Pending() && nNowNs - nLastReadNs >= SIM_FRAME_GAP_NS) {
            // The line went quiet inside a frame: look for frames behind its start.
            while (parser.Pending()) {
                parser.DropLead();
                while (parser.Pop(frame))
                    instrument.OnRequest(frame, nNowNs);
            }
        }

        int64_t nWakeNs = nNowNs + 1000000000LL;
        const int64_t nNoiseNs = instrument.OnNoiseTick(nNowNs);
        if (nNoiseNs >= 0)
            nWakeNs = std::min(nWakeNs, nNoiseNs);
        if (!bWriteBlocked && !instrument.Output().Empty())
            nWakeNs = std::min(nWakeNs, instrument.Output().NextDueNs());
        if (parser.Pending())
            nWakeNs = std::min(nWakeNs, nLastReadNs + SIM_FRAME_GAP_NS);
        const int64_t nWaitNs = std::max<int64_t>(0, nWakeNs - nNowNs);
        const timespec timeout{static_cast<time_t>(nWaitNs / 1000000000LL),
                               static_cast<long>(nWaitNs % 1000000000LL)};
        pollfd pfd{pty.m_nMasterFd, static_cast<short>(POLLIN | (bWriteBlocked ? POLLOUT : 0)), 0};
        const int nReady = ppoll(&pfd, 1, &timeout, &waitMask);
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (pfd.revents & POLLOUT)
            bWriteBlocked = false;
        if (pfd.revents & (POLLIN | POLLHUP | POLLERR)) {
            uint8_t buffer[512];
            const ssize_t nRead = read(pty.m_nMasterFd, buffer, sizeof buffer);
            nNowNs = NowNs();
            if (nRead > 0) {
                nLastReadNs = nNowNs;
                // Each byte counts as arrived when it would be complete on the line.
                const int64_t nFirstNs = std::max(nRxLineNs, nNowNs);
                WarnIfEchoIsOn(pty.m_nMasterFd);
                for (ssize_t i = 0; i < nRead; ++i) {
                    parser.Push(buffer + i, 1);
                    while (parser.Pop(frame))
                        instrument.OnRequest(frame, nFirstNs + (i + 1) * nByteNs);
                }
                nRxLineNs = nFirstNs + nRead * nByteNs;
            } else if (nRead < 0 && errno != EAGAIN && errno != EINTR) {
                // Not expected while the slave is held open; avoid spinning on it.
                const timespec pause{0, 10000000L};
                nanosleep(&pause, nullptr);
            }
        }
    }
    return 0;
}
