// What a front end does with the history after one download: merge it.
// It never throws: a history that cannot be used is reported in the
// result, and the download goes on without it. A download meant for a
// shared history that cannot take it waits in this PC's history file and
// goes there at the next connection.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "history/history_replay.h"
#include "history/record_store.h"

namespace history {

struct HistoryFailure {
    Error::Kind kind = Error::Kind::Other;
    std::string message; // names the file and the cause, English
};

struct MergeReport {
    std::optional<MergeOutcome> outcome; // set when the merge went in (here or where it waits)
    std::optional<HistoryFailure> failure;
    // Set when the shared history could not take the download: it waits in
    // waitsIn, this PC's history file (outcome tells how it went in there).
    std::optional<HistoryFailure> sharedFailure;
    std::string waitsIn;
    // Downloads that had waited on this PC and went to the shared history now.
    ReplayTally pushed;
    // Why what waited could not be sent (it still waits); empty when it went.
    std::string pushProblem;
    std::string description; // which history took the download
};

// Opens (creating it and its folder when missing) the history at location
// and merges the download. records are every record read, in order.
MergeReport mergeIntoHistory(const std::string& location, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records);

// The history at location opened for writing, with what waited on this PC
// for it sent there first when it is a shared one (pushed; pushProblem says
// why it could not go, and it waits on). Throws Error.
std::unique_ptr<RecordStore> openForMerging(const std::string& location, ReplayTally& pushed,
                                            std::string& pushProblem);

// "COM3".
std::string portName(int port);

} // namespace history
