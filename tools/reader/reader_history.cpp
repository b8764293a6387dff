#include "tools/reader/reader_history.h"

#include <cstring>
#include <ctime>

#include "archive/archive_record.h"
#include "history/download_history.h"
#include "history/history_path.h"

ReaderHistory::ReaderHistory(const ReaderOptions& options, ProgressDisplay& display)
    : m_options(options), m_display(display) {
    if (!options.m_bNoHistory)
        m_path =
            options.m_szDatabase.empty() ? history::defaultHistoryPath() : options.m_szDatabase;
}

void ReaderHistory::Prepare(const std::string& device) {
    if (!m_options.m_bOnlyNew)
        return;
    const std::string fallBack =
        "reading the last " + std::to_string(m_options.m_nRecordCount) + " records";
    const history::LastDownloadLookup lookup = history::findLastDownload(m_path, device);
    if (lookup.failure) {
        m_display.Line("tarvex-read: the measurement history cannot be read (" +
                       lookup.failure->message + "): " + fallBack);
        return;
    }
    if (!lookup.last) {
        m_display.Line("tarvex-read: no download from " + device + " logged yet: " + fallBack);
        return;
    }
    m_last = lookup.last;
}

int ReaderHistory::OnPosition(int position, int requestedCount) {
    m_nPosition = position;
    m_bCheckFirst = false;
    if (!m_last)
        return requestedCount;
    const history::NewRecordsPlan plan = history::planNewRecords(m_last, position);
    const std::string span = "(position " + std::to_string(m_last->position) + " then, " +
                             std::to_string(position) + " now)";
    switch (plan.kind) {
    case history::NewRecordsPlan::Kind::NothingNew:
        m_display.Line("No new records since the last download " + span + ".");
        return 0;
    case history::NewRecordsPlan::Kind::Range:
        m_display.Line(std::to_string(plan.newCount) + " new records since the last download " +
                       span + ".");
        m_bCheckFirst = true;
        return plan.count;
    default:
        m_display.Line("tarvex-read: the position " + std::to_string(position) +
                       " is outside the ring: reading the last " + std::to_string(requestedCount) +
                       " records");
        m_last.reset();
        return requestedCount;
    }
}

int ReaderHistory::TakeRecords(int nCount) {
    if (!m_bCheckFirst || !m_last || nCount < 1)
        return nCount;
    m_bCheckFirst = false;
    if (!history::continuesHistory(*m_last, g_records[0])) {
        m_display.Line("tarvex-read: the record before the new ones is not the last one stored: "
                       "the ring has come round more than once since the last download, or the "
                       "archive was cleared; reading the last " +
                       std::to_string(m_options.m_nRecordCount) + " records instead");
        m_last.reset();
        return 0;
    }
    // The check record is already kept: the new records move up to slot 0.
    std::memmove(&g_records[0], &g_records[1], sizeof(ArchiveRecord) * (nCount - 1));
    return nCount - 1;
}

void ReaderHistory::Merge(int nCount, int port, const std::string& device) {
    if (m_options.m_bNoHistory)
        return;
    history::DownloadEntry entry;
    entry.time = std::time(nullptr);
    entry.port = history::portName(port);
    entry.device = device;
    entry.position = m_nPosition;
    entry.count = nCount;
    entry.emptyCells = g_emptyCells;
    if (nCount > 0)
        entry.lastRecord = g_records[nCount - 1];
    const history::MergeReport report = history::mergeIntoHistory(
        m_path, entry, std::span<const ArchiveRecord>(g_records, static_cast<size_t>(nCount)));
    if (report.failure) {
        m_display.Line("tarvex-read: the measurement history was NOT updated: " +
                       report.failure->message);
        return;
    }
    m_display.Line("History: " + std::to_string(report.outcome->added) + " new records kept, " +
                   std::to_string(report.outcome->known) + " already there (" + m_path + ")");
}
