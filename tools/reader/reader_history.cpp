#include "tools/reader/reader_history.h"

#include "history/history_path.h"

namespace {

std::string HistoryPath(const ReaderOptions& options) {
    if (options.m_bNoHistory)
        return {};
    return options.m_szDatabase.empty() ? history::defaultHistoryPath() : options.m_szDatabase;
}

} // namespace

ReaderHistory::ReaderHistory(const ReaderOptions& options, ProgressDisplay& display)
    : m_options(options), m_display(display),
      m_session(HistoryPath(options), options.m_bOnlyNew != 0) {}

void ReaderHistory::Prepare(const std::string& device) {
    if (!m_options.m_bOnlyNew)
        return;
    const std::string fallBack =
        "reading the last " + std::to_string(m_options.m_nRecordCount) + " records";
    if (const auto failure = m_session.prepare(device))
        m_display.Line("tarvex-read: the measurement history cannot be read (" + failure->message +
                       "): " + fallBack);
    else if (!m_session.knowsLastDownload())
        m_display.Line("tarvex-read: no download from " + device + " logged yet: " + fallBack);
}

int ReaderHistory::OnPosition(int position, int requestedCount) {
    const int last = m_session.lastPosition();
    const history::NewRecordsPlan plan = m_session.onPosition(position);
    const std::string span =
        "(position " + std::to_string(last) + " then, " + std::to_string(position) + " now)";
    switch (plan.kind) {
    case history::NewRecordsPlan::Kind::NoHistory:
        return requestedCount;
    case history::NewRecordsPlan::Kind::NothingNew:
        m_display.Line("No new records since the last download " + span + ".");
        return 0;
    case history::NewRecordsPlan::Kind::Range:
        m_display.Line(std::to_string(plan.newCount) + " new records since the last download " +
                       span + ".");
        return plan.count;
    case history::NewRecordsPlan::Kind::OutsideRing:
        break;
    }
    m_display.Line("tarvex-read: the position " + std::to_string(position) +
                   " is outside the ring: reading the last " + std::to_string(requestedCount) +
                   " records");
    return requestedCount;
}

int ReaderHistory::TakeRecords(int nCount) {
    const int nKept = m_session.takeRecords(nCount);
    if (nKept == 0)
        m_display.Line("tarvex-read: the record before the new ones is not the last one stored: "
                       "the ring has come round more than once since the last download, or the "
                       "archive was cleared; reading the last " +
                       std::to_string(m_options.m_nRecordCount) + " records instead");
    return nKept;
}

void ReaderHistory::Merge(int nCount, int port, const std::string& device) {
    const auto report = m_session.merge(nCount, history::portName(port), device);
    if (!report)
        return;
    if (report->failure) {
        m_display.Line("tarvex-read: the measurement history was NOT updated: " +
                       report->failure->message);
        return;
    }
    m_display.Line("History: " + std::to_string(report->outcome->added) + " new records kept, " +
                   std::to_string(report->outcome->known) + " already there (" + m_session.path() +
                   ")");
}
