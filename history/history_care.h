// Looking after the history file: checking it, setting a damaged one aside,
// recovering what can be read from it, and a consistent copy while it is in
// use. Nothing here deletes a file the user had.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace history {

struct CheckReport {
    std::vector<std::string> problems; // SQLite's words; empty when the file is sound
};

// Reads every page of the history at path. Throws Error when it cannot even
// be opened as a Tarvex history.
CheckReport checkHistory(const std::string& path);

// Renames path (and its -wal and -shm, which belong to it) to
// "path.damaged-YYYYMMDD-HHMMSS", and returns that name. The next download
// starts a new history at path. Throws Error.
std::string setAside(const std::string& path);

struct RecoverReport {
    std::string setAsideAs; // where the damaged file now is
    std::int64_t records = 0;
    std::int64_t downloads = 0;
    int damagedPlaces = 0; // stretches of rows that could not be read
};

// Copies every row that can be read into a new history, sets the damaged
// one aside and puts the new one in its place. Run it while no download is
// under way. Throws Error; the file at path is then as it was.
RecoverReport recoverHistory(const std::string& path);

// Writes a consistent copy of the history at path to target, through a
// temporary file renamed over target when whole; other programs may go on
// using the history meanwhile. Throws Error when the history cannot be
// read; returns why the copy could not be written (empty on success).
struct BackupTarget {
    std::string path;
    bool replace = false; // an existing file at path is replaced
};
std::string backupHistory(const std::string& path, const BackupTarget& target);

} // namespace history
