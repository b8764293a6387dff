// The instruments of the history file: which one a download came from, and
// what the user does with them (name, join). The store calls these inside
// its own transactions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/record_store.h"
#include "history/sqlite_db.h"

namespace history {

// A stored record as a download finds it again.
struct FoundRecord {
    std::int64_t id = 0;         // 0: the history does not hold it
    std::int64_t instrument = 0; // 0: none recorded
};

// Looks records up by their bytes.
class RecordFinder {
public:
    explicit RecordFinder(SqliteDb& db);
    FoundRecord find(const ArchiveRecord& record);

private:
    Statement m_find;
};

// The instrument a download belongs to: given (when it still exists), else the
// one holding the known record nearest the newest end of found (in slot
// order), else a new one when the download holds any record, else 0.
struct DownloadInstrument {
    std::int64_t id = 0;
    bool isNew = false;
};
DownloadInstrument instrumentOfDownload(SqliteDb& db, std::optional<std::int64_t> given,
                                        std::span<const FoundRecord> found, bool anyRecord);

// Gives every download and record that lacks one an instrument (a download:
// its records', else one per device; a record: its first download's), and lists every instrument
// they name. For rows copied out of a damaged or older file.
void fillMissingInstruments(SqliteDb& db);

std::vector<InstrumentInfo> listInstruments(SqliteDb& db);
void setInstrumentName(SqliteDb& db, std::int64_t id, const std::string& name);
void mergeInstruments(SqliteDb& db, std::int64_t into, std::int64_t from);

} // namespace history
