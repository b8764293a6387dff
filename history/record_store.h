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
#include <vector>

#include "archive/archive_record.h"

namespace history {

// Minutes since 2000-01-01 00:00 of the instrument's clock (no time zone).
using Minutes = std::int64_t;

// One download as the log keeps it.
struct DownloadEntry {
    std::int64_t time = 0; // when it ended, seconds since the epoch
    std::string port;      // the port as the user names it ("COM3")
    std::string device;    // the device behind it: the cable, not the instrument
    int position = 0;      // archive position the instrument reported
    int count = 0;         // records read
    EmptyCellTable emptyCells{};
    ArchiveRecord lastRecord{}; // the record just before the position
    // When the caller already knows it (a --new scan met a known record).
    std::optional<std::int64_t> instrument = {};
};

struct MergeOutcome {
    std::int64_t downloadId = 0;
    int added = 0; // records the history did not have
    int known = 0; // records it had already
    // The instrument the download came from; 0 when it brought no record to
    // tell it by (only empty slots) and none was given.
    std::int64_t instrumentId = 0;
    bool newInstrument = false; // no record of it was known before: a new instrument was made
};

// An instrument as the history tells it apart: by the records its downloads
// share, not by the cable.
struct InstrumentInfo {
    std::int64_t id = 0;
    std::string name;   // the user's name (the serial number on its plate); empty until named
    std::string device; // device of its latest download
    std::int64_t records = 0;
    std::int64_t downloads = 0;
    std::int64_t lastDownloadTime = 0; // seconds since the epoch
};

// What the last download through one device left behind.
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
    std::optional<std::int64_t> instrument = {};
};

struct StoredRecord {
    std::int64_t id = 0;
    ArchiveRecord record{};
    std::optional<Minutes> measured; // empty when the clock bytes are no date
    std::int64_t instrument = 0;
    std::int64_t download = 0; // the first download that saw it (its empty cells and read time)
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
        // A server history: not reachable now (down, no network, no answer in
        // time, connection lost): trying again later may work.
        Unreachable,
        // A server history: the server answered and said no (password, role,
        // database, privileges): trying again will not help until it is set up.
        Refused,
        // A server history whose tables are missing or older than this
        // program: an administrator runs `tarvex-history init`.
        NotSetUp,
        // A server location this program will not use as given (a password in it).
        BadLocation,
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
    // The download belongs to download.instrument when given, else to the
    // instrument holding its known record nearest the newest (last) end, else
    // to a new instrument. New records take the download's instrument.
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

    // The instrument whose downloads brought record in, if the history holds it.
    virtual std::optional<std::int64_t> instrumentHolding(const ArchiveRecord& record) = 0;
    // Every instrument, oldest first.
    virtual std::vector<InstrumentInfo> instruments() = 0;
    // Throws Error when id is unknown or the name is taken by another
    // instrument. An empty name clears it.
    virtual void nameInstrument(std::int64_t id, const std::string& name) = 0;
    // Makes `from` part of `into` (one instrument whose archive was cleared);
    // `from` ceases to exist. into keeps its name, or takes from's when it has
    // none. Throws Error when either is unknown or both are one.
    virtual void joinInstruments(std::int64_t into, std::int64_t from) = 0;
    // The download as logged (time, port, device, position, count, empty cells, instrument).
    virtual std::optional<DownloadEntry> download(std::int64_t id) = 0;
    // Every logged download, oldest first; visit returns false to stop early.
    virtual void
    forEachDownload(const std::function<bool(std::int64_t id, const DownloadEntry&)>& visit) = 0;
    // The records the download saw (the reportable ones), in the order the
    // history took them in: enough to merge the download again elsewhere.
    virtual std::vector<ArchiveRecord> downloadRecords(std::int64_t id) = 0;

    // Which history this is, in one line for the user: the file's path, or
    // the server, database and whether the connection is encrypted.
    virtual std::string describe() const = 0;
};

enum class OpenMode { ReadWrite, ReadOnly };

// Opens (and in ReadWrite mode creates and brings up to date) the history at
// path. A server location (see server_location.h) opens the shared history
// on that server instead, whose tables an administrator creates beforehand.
// Throws Error.
std::unique_ptr<RecordStore> openHistory(const std::string& path, OpenMode mode);

} // namespace history
