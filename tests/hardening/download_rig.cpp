#include "tests/hardening/download_rig.h"

#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "archive/archive_record.h"
#include "archive/results_writer.h"

void FileHost::WriteResultsFile(int nCount) {
    const WriteOutcome outcome = WriteResultsToFile(m_szPath, nCount, 0, '.');
    if (!outcome.ok)
        m_szLastError = outcome.reason;
    ++m_nWritten;
}

bool DownloadRig::LinkFree() const {
    const int32_t state = m_link.m_nLinkState.load();
    return (state == LINK_READY || state == LINK_NO_ANSWER) && m_link.m_bTxRequest.load() == 0;
}

void DownloadRig::Handle(const LinkEvent& event, int* pNoAnswers) {
    if (event.kind == LinkEvent::Status) {
        // Only the latest: a soak sees tens of thousands.
        if (m_statuses.size() == 16)
            m_statuses.erase(m_statuses.begin());
        m_statuses.push_back(event.text);
    } else if (event.kind == LinkEvent::Reply) {
        if (event.bytes.empty() && pNoAnswers != nullptr)
            ++*pNoAnswers;
        m_sequence.OnLinkReply(static_cast<unsigned>(event.bytes.size()),
                               event.bytes.empty() ? nullptr : event.bytes.data());
    }
}

bool DownloadRig::Download(std::chrono::milliseconds limit, int nMaxClicks, int* pNoAnswers) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    const int nWrittenBefore = m_host.m_nWritten;
    int nClicks = 0;
    bool bRunning = false;
    while (Clock::now() < deadline) {
        if (m_host.m_nWritten != nWrittenBefore)
            return true;
        // A click needs the link free: the closing frame of the download
        // before, or the give-up of this one, must have been served.
        if (!bRunning && LinkFree()) {
            if (nClicks == nMaxClicks)
                return false;
            m_sequence.OnReadArchive();
            ++nClicks;
            bRunning = true;
        }
        auto event = m_target.Next(std::chrono::milliseconds(50));
        if (!event)
            continue;
        const bool bGiveUp = event->kind == LinkEvent::Reply && event->bytes.empty();
        Handle(*event, pNoAnswers);
        if (bGiveUp)
            bRunning = false;
    }
    return m_host.m_nWritten != nWrittenBefore;
}

void DownloadRig::Pump(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        if (auto event = m_target.Next(left))
            Handle(*event, nullptr);
    }
}

bool WriteExpectedFile(const std::string& dumpPath, int nPosition, int nCount,
                       const std::string& outPath) {
    const std::string dump = ReadWholeFile(dumpPath);
    if (dump.size() != sizeof(EmptyCellTable) + ArchiveSlotCount * sizeof(ArchiveRecord))
        return false;
    std::memcpy(g_emptyCells.bytes, dump.data(), sizeof g_emptyCells.bytes);
    const int first =
        ((nPosition - nCount) % ArchiveSlotCount + ArchiveSlotCount) % ArchiveSlotCount;
    for (int i = 0; i < nCount; ++i) {
        const size_t at =
            sizeof(EmptyCellTable) +
            static_cast<size_t>((first + i) % ArchiveSlotCount) * sizeof(ArchiveRecord);
        std::memcpy(g_records[i].bytes, dump.data() + at, sizeof(ArchiveRecord));
    }
    const bool ok = WriteResultsToFile(outPath, nCount, 0, '.').ok;
    std::memset(g_records, 0, sizeof g_records);
    std::memset(&g_emptyCells, 0, sizeof g_emptyCells);
    return ok;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountEntries(const char* dir) {
    DIR* d = opendir(dir);
    if (d == nullptr)
        return -1;
    int n = 0;
    while (const dirent* e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
