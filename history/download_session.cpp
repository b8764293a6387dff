#include "history/download_session.h"

#include <cstring>
#include <ctime>

#include "archive/archive_record.h"

namespace history {

DownloadSession::DownloadSession(std::string path, bool onlyNew)
    : m_path(std::move(path)), m_onlyNew(onlyNew) {}

std::optional<HistoryFailure> DownloadSession::prepare(const std::string& device) {
    m_last.reset();
    m_checkFirst = false;
    if (!m_onlyNew || m_path.empty())
        return std::nullopt;
    LastDownloadLookup lookup = findLastDownload(m_path, device);
    m_last = lookup.last;
    return lookup.failure;
}

NewRecordsPlan DownloadSession::onPosition(int position) {
    m_position = position;
    m_checkFirst = false;
    if (!m_last)
        return NewRecordsPlan{};
    const NewRecordsPlan plan = planNewRecords(m_last, position);
    if (plan.kind == NewRecordsPlan::Kind::Range)
        m_checkFirst = true;
    else if (plan.kind == NewRecordsPlan::Kind::OutsideRing)
        m_last.reset();
    return plan;
}

int DownloadSession::takeRecords(int nCount) {
    if (!m_checkFirst || !m_last || nCount < 2)
        return nCount;
    m_checkFirst = false;
    if (!continuesHistory(*m_last, g_records[0])) {
        m_last.reset(); // the full read that follows does not check
        return 0;
    }
    // The check record is already kept: the new records move up to slot 0.
    std::memmove(&g_records[0], &g_records[1], sizeof(ArchiveRecord) * (nCount - 1));
    return nCount - 1;
}

std::optional<MergeReport> DownloadSession::merge(int nCount, const std::string& port,
                                                  const std::string& device) {
    if (m_path.empty() || nCount < 1)
        return std::nullopt;
    DownloadEntry entry;
    entry.time = std::time(nullptr);
    entry.port = port;
    entry.device = device;
    entry.position = m_position;
    entry.count = nCount;
    entry.emptyCells = g_emptyCells;
    entry.lastRecord = g_records[nCount - 1];
    return mergeIntoHistory(m_path, entry,
                            std::span<const ArchiveRecord>(g_records, static_cast<size_t>(nCount)));
}

} // namespace history
