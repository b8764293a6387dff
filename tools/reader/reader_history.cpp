#include "tools/reader/reader_history.h"

#include "history/history_location.h"
#include "history/history_remedy.h"
#include "platform/messages.h"

namespace {

std::string HistoryPath(const ReaderOptions& options) {
    if (options.m_bNoHistory)
        return {};
    return history::chooseHistory(options.m_szDatabase).location;
}

std::string Warning(const std::string& text) {
    return "tarvex-read: " + text;
}

std::string NewRecords(int count) {
    return Format(MsgN("%d new record", "%d new records", static_cast<unsigned long>(count)),
                  count);
}

std::string Downloads(int count) {
    return Format(MsgN("%d download", "%d downloads", static_cast<unsigned long>(count)), count);
}

} // namespace

ReaderHistory::ReaderHistory(const ReaderOptions& options, ProgressDisplay& display)
    : m_options(options), m_display(display),
      m_session(HistoryPath(options), options.m_bOnlyNew != 0,
                options.m_bCountGiven ? options.m_nRecordCount : ArchiveSlotCount) {}

RecordScan* ReaderHistory::Prepare(const std::string& device) {
    if (const auto failure = m_session.prepare(device))
        m_display.Line(Warning(Format(Msg("the measurement history cannot be read (%s): every "
                                          "record read back from the newest counts as new"),
                                      failure->message.c_str())));
    else if (const auto& away = m_session.sharedAway())
        m_display.Line(Warning(Format(Msg("the shared history cannot be used (%s): --new looks "
                                          "records up in this PC's history"),
                                      away->message.c_str())));
    ReportPushed(m_session.pushedBeforeScan(), m_session.pushProblemBeforeScan());
    return m_session.scan();
}

int ReaderHistory::TakeRecords(int nCount) {
    nCount = m_session.takeRecords(nCount);
    if (!m_session.scan())
        return nCount;
    using End = history::ScanResult::End;
    const history::ScanResult& result = m_session.scanResult();
    switch (result.end) {
    case End::KnownRecord:
        m_display.Line(
            nCount == 0 ? std::string(Msg("No new records since the last download."))
                        : Format(Msg("%s since the last download."), NewRecords(nCount).c_str()));
        break;
    case End::EmptySlot:
        m_display.Line(
            nCount == 0 ? std::string(Msg("The instrument's archive holds no records."))
                        : Format(Msg("%s: the instrument's whole archive was new to the history."),
                                 NewRecords(nCount).c_str()));
        break;
    case End::Cap:
        m_display.Line(Warning(Format(Msg("--count %d reached before a record the history holds: "
                                          "older new records were left on the instrument"),
                                      nCount)));
        break;
    case End::WholeRing:
        if (result.mayHaveLost)
            m_display.Line(Warning(
                Msg("all 2000 records of the instrument's ring were new: records may have been "
                    "overwritten before this download. Download at least every 2000 "
                    "measurements, or on a schedule")));
        else
            m_display.Line(Format(Msg("%s: the instrument's whole ring was new to the history."),
                                  NewRecords(nCount).c_str()));
        break;
    }
    return nCount;
}

void ReaderHistory::Merge(int nCount, const LinkEndpoint& endpoint, int position) {
    const auto report = m_session.merge(nCount, endpoint.port, endpoint.device, position);
    if (!report)
        return;
    ReportPushed(report->pushed, report->pushProblem);
    if (report->sharedFailure) {
        ReportWaiting(*report);
        return;
    }
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
                          report->outcome->known, report->description.c_str()));
}

void ReaderHistory::ReportPushed(const history::ReplayTally& pushed, const std::string& problem) {
    if (!problem.empty())
        m_display.Line(Warning(Format(Msg("the downloads waiting on this PC could not be sent to "
                                          "the shared history, they wait on: %s"),
                                      problem.c_str())));
    if (pushed.downloads + pushed.knownDownloads == 0)
        return;
    m_display.Line(Format(Msg("%s that waited on this PC went to the shared history: %lld new "
                              "records, %lld already there"),
                          Downloads(pushed.downloads + pushed.knownDownloads).c_str(),
                          static_cast<long long>(pushed.added),
                          static_cast<long long>(pushed.known)));
}

void ReaderHistory::ReportWaiting(const history::MergeReport& report) {
    const history::HistoryFailure& cause = *report.sharedFailure;
    const bool refused = history::refusedConnection(cause.kind);
    m_waitStatus = refused ? EXIT_HISTORY_REFUSED : EXIT_HISTORY_WAITS;
    m_display.Line(Warning(Format(refused ? Msg("the shared history refused the connection: %s")
                                          : Msg("the shared history cannot be reached: %s"),
                                  cause.message.c_str())));
    if (report.failure) {
        m_display.Line(Warning(Format(Msg("this PC's history was NOT updated either: %s"),
                                      report.failure->message.c_str())));
        if (const std::string remedy = history::remedyFor(report.failure->kind); !remedy.empty())
            m_display.Line(Warning(remedy));
        return;
    }
    m_display.Line(Warning(Format(Msg("the download waits in this PC's history (%s) and goes to "
                                      "the shared history at the next download or with "
                                      "'tarvex-history push'"),
                                  report.waitsIn.c_str())));
    if (const std::string remedy = history::remedyFor(cause.kind); !remedy.empty())
        m_display.Line(Warning(remedy));
}
