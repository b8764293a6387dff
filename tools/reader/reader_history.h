// The reader's words for the measurement history: where --new starts, the
// check that the new range joins the stored history, and the merge at the
// results step. A history that cannot be used costs nothing but a warning.
#pragma once

#include <string>

#include "history/download_session.h"
#include "link/link_endpoint.h"
#include "tools/reader/progress_display.h"
#include "tools/reader/reader_options.h"

class ReaderHistory {
public:
    ReaderHistory(const ReaderOptions& options, ProgressDisplay& display);

    // Before the download: with --new, looks up where the last download from
    // device ended.
    void Prepare(const std::string& device);
    // The position reply came: the count to read now, or 0 when nothing is new.
    int OnPosition(int position, int requestedCount);
    // At the results step, before the file is written: the count to write,
    // or 0 when the check failed and the full count must be read instead.
    int TakeRecords(int nCount);
    // After the file: logs the download and merges its records.
    void Merge(int nCount, const LinkEndpoint& endpoint);

private:
    const ReaderOptions& m_options;
    ProgressDisplay& m_display;
    history::DownloadSession m_session;
};
