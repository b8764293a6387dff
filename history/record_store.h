// The measurement history: every record any download has brought in, kept
// once, and the log of those downloads. Front ends see only this interface,
// so another store (a shared server, say) can stand in for the local file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "archive/archive_record.h"

namespace history {

// Minutes since 2000-01-01 00:00 of the instrument's clock (no time zone).
using Minutes = std::int64_t;

// One download as the log keeps it.
struct DownloadEntry {
    std::int64_t time = 0; // when it ended, seconds since the epoch
    std::string port;      // the port as the user names it ("COM3")
    std::string device;    // the device behind it; names the instrument
    int position = 0;      // archive position the instrument reported
    int count = 0;         // records read
    EmptyCellTable emptyCells{};
    ArchiveRecord lastRecord{}; // the record just before the position
};

struct MergeOutcome {
    std::int64_t downloadId = 0;
    int added = 0; // records the history did not have
    int known = 0; // records it had already
};

// What the last download from one instrument left behind.
struct LastDownload {
    std::int64_t time = 0;
    int position = 0;
    ArchiveRecord lastRecord{};
};

// Every field optional; the bounds are inclusive.
struct Filter {
    std::optional<int> sample = {};
    std::optional<int> cell = {};
    std::optional<Minutes> from = {};
    std::optional<Minutes> to = {};
};

struct StoredRecord {
    std::int64_t id = 0;
    ArchiveRecord record{};
    std::optional<Minutes> measured; // empty when the clock bytes are no date
};

struct Stats {
    std::int64_t records = 0;
    std::int64_t downloads = 0;
    std::optional<Minutes> firstMeasured;
    std::optional<Minutes> lastMeasured;
    std::int64_t fileBytes = 0;
};

// Why the history could not be used. The message names the file and the cause.
class Error : public std::runtime_error {
public:
    enum class Kind {
        CannotOpen,
        ReadOnly,
        Corrupt,
        DiskFull,
        Busy,
        TooNew,
        NotOurs,   // another program's database, a file of another kind, a folder
        LockFiles, // the -shm or -wal beside it cannot be written by this user
        Other
    };
    Error(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Logs the download and adds the records it saw, all or nothing. Records
    // that are not reportable (empty slots, unknown kinds) are not kept.
    // progress, when given, hears the number of records handled so far.
    virtual MergeOutcome mergeDownload(const DownloadEntry& download,
                                       std::span<const ArchiveRecord> records,
                                       const std::function<void(int done)>& progress = {}) = 0;

    // The latest download logged for the instrument behind device.
    virtual std::optional<LastDownload> lastDownload(const std::string& device) = 0;

    // Records matching filter in order of measurement time (undated last),
    // then of arrival. visit returns false to stop early.
    virtual void forEachRecord(const Filter& filter,
                               const std::function<bool(const StoredRecord&)>& visit) = 0;

    // The empty-cell parameters of the latest download, if any was logged.
    virtual std::optional<EmptyCellTable> latestEmptyCells() = 0;

    virtual Stats stats() = 0;
};

enum class OpenMode { ReadWrite, ReadOnly };

// Opens (and in ReadWrite mode creates and brings up to date) the history at
// path. Throws Error.
std::unique_ptr<RecordStore> openHistory(const std::string& path, OpenMode mode);

} // namespace history
