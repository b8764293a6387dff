// What a front end does with the history after one download: merge it.
// It never throws: a history that cannot be used is reported in the
// result, and the download goes on without it.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "history/record_store.h"

namespace history {

struct HistoryFailure {
    Error::Kind kind = Error::Kind::Other;
    std::string message; // names the file and the cause, English
};

struct MergeReport {
    std::optional<MergeOutcome> outcome; // set when the merge went in
    std::optional<HistoryFailure> failure;
};

// Opens (creating it and its folder when missing) the history at path and
// merges the download. records are every record read, in order.
MergeReport mergeIntoHistory(const std::string& path, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records);

// "COM3".
std::string portName(int port);

} // namespace history
