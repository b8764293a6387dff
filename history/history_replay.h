// Copies downloads from one history into another, each with the records it
// saw: a local file moved into a shared history (import), or the downloads
// that waited on this PC while the shared history was away (push). A download
// the target logs already (by its token) is not copied again, so running
// either twice adds nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "history/record_store.h"

namespace history {

struct ReplayTally {
    int downloads = 0;      // copied into the target
    int knownDownloads = 0; // the target logged them already
    std::int64_t added = 0; // records new to the target
    std::int64_t known = 0; // records it held already
    int named = 0;          // target instruments that took the source's name
    // Source names not carried over: another instrument of the target has them.
    std::vector<std::string> namesTaken;
};

struct ReplayHooks {
    // Which downloads to copy, by token; every one when not set.
    std::function<bool(const std::string& token)> chosen;
    // After a chosen download is in the target (copied now or found there).
    std::function<void(const std::string& token)> done;
    // Downloads handled so far of those chosen.
    std::function<void(int handled, int total)> progress;
};

// Oldest first, so the target tells instruments apart as the source did.
// The target's own instruments take the source's names where they have none.
// Throws Error of either store; what was copied before stays copied.
ReplayTally replayDownloads(RecordStore& from, RecordStore& into, const ReplayHooks& hooks = {});

// Sends what waits in the history file at localPath to shared and unmarks
// each download once shared holds it. Nothing when nothing waits.
// Throws Error (of the local file or of shared).
ReplayTally pushWaiting(const std::string& localPath, RecordStore& shared,
                        const std::function<void(int handled, int total)>& progress = {});

// Merges the download into the history file at localPath and marks it to go
// to the shared history later: marked first, so that a merge broken off
// leaves a mark without a download (dropped at the next push), never a
// download without its mark.
MergeOutcome keepWaiting(const std::string& localPath, const DownloadEntry& download,
                         std::span<const ArchiveRecord> records);

} // namespace history
