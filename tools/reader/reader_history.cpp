#include "tools/reader/reader_history.h"

#include "history/history_path.h"
#include "history/history_remedy.h"
#include "platform/messages.h"

namespace {

std::string HistoryPath(const ReaderOptions& options) {
    if (options.m_bNoHistory)
        return {};
    return options.m_szDatabase.empty() ? history::defaultHistoryPath() : options.m_szDatabase;
}

// What the reader does when --new cannot tell where the new records start.
std::string ReadingTheLast(int nCount) {
    return Format(MsgN("reading the last %d record", "reading the last %d records",
                       static_cast<unsigned long>(nCount)),
                  nCount);
}

std::string Warning(const std::string& text) {
    return "tarvex-read: " + text;
}

} // namespace

ReaderHistory::ReaderHistory(const ReaderOptions& options, ProgressDisplay& display)
    : m_options(options), m_display(display),
      m_session(HistoryPath(options), options.m_bOnlyNew != 0) {}

void ReaderHistory::Prepare(const std::string& device) {
    if (!m_options.m_bOnlyNew)
        return;
    const std::string fallBack = ReadingTheLast(m_options.m_nRecordCount);
    if (const auto failure = m_session.prepare(device))
        m_display.Line(Warning(Format(Msg("the measurement history cannot be read (%s): %s"),
                                      failure->message.c_str(), fallBack.c_str())));
    else if (!m_session.knowsLastDownload())
        m_display.Line(Warning(
            Format(Msg("no download from %s logged yet: %s"), device.c_str(), fallBack.c_str())));
}

int ReaderHistory::OnPosition(int position, int requestedCount) {
    const int last = m_session.lastPosition();
    const history::NewRecordsPlan plan = m_session.onPosition(position);
    const std::string span = Format(Msg("(position %d then, %d now)"), last, position);
    switch (plan.kind) {
    case history::NewRecordsPlan::Kind::NoHistory:
        return requestedCount;
    case history::NewRecordsPlan::Kind::NothingNew:
        m_display.Line(Format(Msg("No new records since the last download %s."), span.c_str()));
        return 0;
    case history::NewRecordsPlan::Kind::Range:
        m_display.Line(Format(MsgN("%d new record since the last download %s.",
                                   "%d new records since the last download %s.",
                                   static_cast<unsigned long>(plan.newCount)),
                              plan.newCount, span.c_str()));
        return plan.count;
    case history::NewRecordsPlan::Kind::OutsideRing:
        break;
    }
    m_display.Line(Warning(Format(Msg("the position %d is outside the ring: %s"), position,
                                  ReadingTheLast(requestedCount).c_str())));
    return requestedCount;
}

int ReaderHistory::TakeRecords(int nCount) {
    const int nKept = m_session.takeRecords(nCount);
    if (nKept == 0)
        m_display.Line(Warning(Format(
            Msg("the record before the new ones is not the last one stored: the ring has come "
                "round more than once since the last download, or the archive was cleared; %s "
                "instead"),
            ReadingTheLast(m_options.m_nRecordCount).c_str())));
    return nKept;
}

void ReaderHistory::Merge(int nCount, const LinkEndpoint& endpoint) {
    const auto report = m_session.merge(nCount, endpoint.port, endpoint.device);
    if (!report)
        return;
    if (report->failure) {
        m_display.Line(Warning(Format(Msg("the measurement history was NOT updated: %s"),
                                      report->failure->message.c_str())));
        if (const std::string remedy = history::remedyFor(report->failure->kind); !remedy.empty())
            m_display.Line(Warning(remedy));
        return;
    }
    const std::string added = Format(MsgN("%d new record kept", "%d new records kept",
                                          static_cast<unsigned long>(report->outcome->added)),
                                     report->outcome->added);
    m_display.Line(Format(Msg("History: %s, %d already there (%s)"), added.c_str(),
                          report->outcome->known, m_session.path().c_str()));
}
