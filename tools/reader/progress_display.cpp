#include "tools/reader/progress_display.h"

#include "platform/messages.h"

namespace {

constexpr int BAR_WIDTH = 24;

std::string Duration(double seconds) {
    if (seconds < 0 || seconds > 99 * 3600)
        return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out, bool bTerminal, bool bTenths)
    : m_pOut(out), m_bTerminal(bTerminal), m_bTenths(bTenths) {}

void ProgressDisplay::ClearLine() {
    if (m_bTerminal && m_bLineShown) {
        std::fputs("\r\033[K", m_pOut);
        m_bLineShown = false;
    }
}

void ProgressDisplay::Line(const std::string& textUtf8) {
    ClearLine();
    std::fprintf(m_pOut, "%s\n", textUtf8.c_str());
    if (m_bTerminal && m_nTotal > 0)
        Draw();
    std::fflush(m_pOut);
}

void ProgressDisplay::Routine(const std::string& textUtf8) {
    m_szRoutine = textUtf8;
    if (m_bTerminal && m_nTotal > 0) {
        Draw();
        std::fflush(m_pOut);
    }
}

void ProgressDisplay::StartClock() {
    m_startTime = std::chrono::steady_clock::now();
}

void ProgressDisplay::SetRange(int total) {
    m_nTotal = total;
}

void ProgressDisplay::SetDone(int done) {
    m_nDone = done;
    if (m_nTotal <= 0)
        return;
    if (m_bTerminal) {
        Draw();
    } else if (m_bTenths) {
        const int tenth = static_cast<int>(static_cast<long>(done) * 10 / m_nTotal);
        if (tenth == m_nLastReported)
            return;
        m_nLastReported = tenth;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_startTime).count();
        const double rate = elapsed > 0 ? done / elapsed : 0;
        std::fprintf(m_pOut, Msg("records %d/%d (%d %%), %.1f rec/s, %s left\n"), done, m_nTotal,
                     static_cast<int>(static_cast<long>(done) * 100 / m_nTotal), rate,
                     Duration(rate > 0 ? (m_nTotal - done) / rate : -1).c_str());
    }
    std::fflush(m_pOut);
}

void ProgressDisplay::Draw() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_startTime).count();
    const double rate = elapsed > 0 ? m_nDone / elapsed : 0;
    const int filled =
        m_nTotal > 0 ? static_cast<int>(static_cast<long>(m_nDone) * BAR_WIDTH / m_nTotal) : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(BAR_WIDTH, '.');
    std::fprintf(m_pOut, Msg("\r[%s] %d/%d  %.1f rec/s  %s left %s\033[K"), bar.c_str(), m_nDone,
                 m_nTotal, rate, Duration(rate > 0 ? (m_nTotal - m_nDone) / rate : -1).c_str(),
                 m_szRoutine.c_str());
    m_bLineShown = true;
}

void ProgressDisplay::Finish() {
    if (m_bTerminal && m_bLineShown) {
        std::fputc('\n', m_pOut);
        m_bLineShown = false;
    }
    std::fflush(m_pOut);
}
