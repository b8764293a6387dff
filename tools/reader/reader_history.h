// The reader's words for the measurement history: the --new scan, what it
// found, and the merge at the results step. A history that cannot be used
// costs nothing but a warning.
#pragma once

#include <string>

#include "history/download_session.h"
#include "link/link_endpoint.h"
#include "tools/reader/progress_display.h"
#include "tools/reader/reader_options.h"

class ReaderHistory {
public:
    ReaderHistory(const ReaderOptions& options, ProgressDisplay& display);

    // Before the download: with --new, opens the history the scan looks
    // records up in. The scan the download is to run (null: the last N).
    RecordScan* Prepare(const std::string& device);
    // At the results step, before the file is written: the count to write
    // (0: nothing new, no file). Says what the scan found.
    int TakeRecords(int nCount);
    // After the file: logs the download and merges its records.
    void Merge(int nCount, const LinkEndpoint& endpoint, int position);
    // --new found the whole ring new for an instrument the history knew.
    bool MayHaveLost() const { return m_session.scanResult().mayHaveLost; }
    // After Merge: the status of a download that waits on this PC for the
    // shared history (EXIT_HISTORY_WAITS, EXIT_HISTORY_REFUSED), else 0.
    int WaitStatus() const { return m_waitStatus; }

private:
    void ReportPushed(const history::ReplayTally& pushed, const std::string& problem);
    void ReportWaiting(const history::MergeReport& report);

    const ReaderOptions& m_options;
    ProgressDisplay& m_display;
    history::DownloadSession m_session;
    int m_waitStatus = 0;
};
