// One download as the history sees it, the same for the dialog and the
// headless reader: where an "only new records" download starts, the check
// that the new range joins what is stored, and the merge at the results step.
// The front ends only put the outcomes into words.
#pragma once

#include <optional>
#include <string>

#include "history/download_history.h"
#include "history/new_records.h"

namespace history {

class DownloadSession {
public:
    // path empty: no history this run (nothing is looked up or merged).
    DownloadSession(std::string path, bool onlyNew);

    const std::string& path() const { return m_path; }

    // Before the download: with only-new, finds where the last download from
    // device ended. Without a usable entry the download reads its full count;
    // the failure, if the history could not be read, is returned.
    std::optional<HistoryFailure> prepare(const std::string& device);
    // True when prepare found where the last download ended.
    bool knowsLastDownload() const { return m_last.has_value(); }

    // The position reply: what to read now. For Range, plan.count records
    // (the check record first); NothingNew ends the download; otherwise the
    // requested count. lastPosition() tells where the last download ended.
    NewRecordsPlan onPosition(int position);
    int lastPosition() const { return m_last ? m_last->position : 0; }

    // At the results step: nCount records are in g_records. Drops the check
    // record of a new range and returns the count to write, or 0 when the
    // check failed and the full count must be read instead.
    int takeRecords(int nCount);

    // Logs the download and merges g_records[0..nCount-1]. Nothing without a path.
    std::optional<MergeReport> merge(int nCount, const std::string& port,
                                     const std::string& device);

private:
    std::string m_path;
    bool m_onlyNew;
    std::optional<LastDownload> m_last;
    bool m_checkFirst = false;
    int m_position = 0;
};

} // namespace history
