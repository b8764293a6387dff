#include "tests/hardening/download_rig.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "tests/e2e/reader_process.h"

void DownloadRig::WriteResultsFile(int nCount) {
    m_szLastError = WriteResultsToFile(m_szPath, nCount, 0, '.').reason;
    ++m_nWritten;
}

void DownloadRig::Handle(const LinkEvent& event) {
    if (event.kind == LinkEvent::Status)
        m_szLastStatus = event.text;
    if (event.kind == LinkEvent::Box)
        m_lastBox = event;
    if (event.kind != LinkEvent::Reply)
        return;
    m_nNoAnswers += event.bytes.empty();
    m_sequence.OnLinkReply(static_cast<unsigned>(event.bytes.size()),
                           event.bytes.empty() ? nullptr : event.bytes.data());
}

bool DownloadRig::Start() {
    m_link.PortNumber(2);
    return m_link.Start(&m_target) == 1;
}

bool DownloadRig::Download(std::chrono::milliseconds limit, int nMaxClicks) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const int nWrittenBefore = m_nWritten;
    int nClicks = 0, nNoAnswersAtClick = -1;
    while (m_nWritten == nWrittenBefore && std::chrono::steady_clock::now() < deadline) {
        // A new click once this one was given up, and only with the link
        // free: the closing frame before or the give-up must have been served.
        const int32_t state = m_link.m_nLinkState.load();
        if (m_nNoAnswers != nNoAnswersAtClick && (state == LINK_READY || state == LINK_NO_ANSWER) &&
            m_link.m_bTxRequest.load() == 0) {
            if (nClicks++ == nMaxClicks)
                return false;
            nNoAnswersAtClick = m_nNoAnswers;
            m_sequence.OnReadArchive();
        }
        if (auto event = m_target.Next(std::chrono::milliseconds(50)))
            Handle(*event);
    }
    return m_nWritten != nWrittenBefore;
}

void DownloadRig::Pump(std::chrono::milliseconds limit) {
    PumpUntil([] { return false; }, limit);
}

bool DownloadRig::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (auto event = m_target.Next(std::chrono::milliseconds(50)))
            Handle(*event);
    }
    return true;
}

std::string ExpectedFile(const TempDir& dir, const std::string& simArgs, int nPosition,
                         int nCount) {
    // The dump is the 56-byte cell block followed by the 2000 records.
    const std::string dumpPath = dir.File("archive.bin"), path = dir.File("expected.doc");
    const std::string command =
        std::string(TARVEX_SIM_PATH) + " " + simArgs + " --dump-archive " + dumpPath;
    const std::string dump = std::system(command.c_str()) == 0 ? ReadFile(dumpPath) : "";
    if (dump.size() != sizeof(EmptyCellTable) + ArchiveSlotCount * sizeof(ArchiveRecord))
        return "";
    std::memcpy(g_emptyCells.bytes, dump.data(), sizeof g_emptyCells.bytes);
    const char* records = dump.data() + sizeof(EmptyCellTable);
    for (int i = 0; i < nCount; ++i) {
        const int slot = (nPosition - nCount + i + ArchiveSlotCount) % ArchiveSlotCount;
        std::memcpy(g_records[i].bytes, records + slot * sizeof(ArchiveRecord),
                    sizeof(ArchiveRecord));
    }
    const bool ok = WriteResultsToFile(path, nCount, 0, '.').ok;
    // Zeroed again, so a download that misses a record cannot find it there.
    std::memset(g_records, 0, sizeof g_records);
    std::memset(&g_emptyCells, 0, sizeof g_emptyCells);
    return ok ? ReadFile(path) : "";
}

std::pair<int, int> FdsAndThreads() {
    using Entries = std::filesystem::directory_iterator;
    return {int(std::distance(Entries("/proc/self/fd"), {})),
            int(std::distance(Entries("/proc/self/task"), {}))};
}
