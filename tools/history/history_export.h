// The export command: the records a filter selects, written in one of the
// results forms through a temporary file, so a failed export leaves nothing cut.
#pragma once

#include <string>

#include "history/record_store.h"
#include "tools/history/history_options.h"

struct ExportOutcome {
    int status = HISTORY_OK;
    long records = 0;
    std::string message; // why it failed, one line
};

ExportOutcome ExportRecords(history::RecordStore& store, const HistoryOptions& options,
                            const std::string& path);
