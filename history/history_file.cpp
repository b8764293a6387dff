#include "history/history_file.h"

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "history/sqlite_schema.h"

namespace history {

namespace {

// As long as the busy time-out a statement waits for another program.
constexpr auto WAL_SWITCH_PATIENCE = std::chrono::seconds(10);

struct Identity {
    std::int64_t applicationId = 0;
    int version = 0;
    bool empty = false; // no tables and no marks: free to be made a history
    bool ours = false;
};

Identity identify(SqliteDb& db) {
    // One statement, so one snapshot: a program creating the file meanwhile
    // is seen before or after, never half way.
    Statement query(db, "SELECT (SELECT application_id FROM pragma_application_id), "
                        "(SELECT user_version FROM pragma_user_version), name "
                        "FROM (SELECT 1) LEFT JOIN sqlite_schema ON type = 'table'");
    Identity id;
    std::set<std::string> tables;
    while (query.step()) {
        id.applicationId = query.integer(0);
        id.version = static_cast<int>(query.integer(1));
        if (!query.isNull(2))
            tables.insert(query.text(2));
    }
    id.empty = tables.empty() && id.applicationId == 0 && id.version == 0;
    // A history of the first releases has no id yet: it is told by its tables.
    const bool oldHistory = id.applicationId == 0 && id.version >= 1 && tables.count("records") &&
                            tables.count("downloads") && tables.count("sightings");
    id.ours = id.applicationId == HISTORY_APPLICATION_ID || oldHistory;
    return id;
}

// Throws unless id is a history this program can use (or an empty file).
void requireOurs(const SqliteDb& db, const Identity& id) {
    if (!id.ours && !id.empty)
        throw Error(Error::Kind::NotOurs,
                    db.path() + ": another program's database, not a Tarvex history");
    if (id.version > currentSchemaVersion())
        throw Error(Error::Kind::TooNew,
                    db.path() + ": made by a newer Tarvex (layout " + std::to_string(id.version) +
                        ", this one knows up to " + std::to_string(currentSchemaVersion()) + ")");
}

bool isUpToDate(const Identity& id) {
    return id.applicationId == HISTORY_APPLICATION_ID && id.version == currentSchemaVersion();
}

// SQLite gives up at once, without the busy time-out, when two programs
// switch the mode at the same moment (each would wait for the other).
void switchToWal(SqliteDb& db) {
    const auto deadline = std::chrono::steady_clock::now() + WAL_SWITCH_PATIENCE;
    for (;;) {
        try {
            db.exec("PRAGMA journal_mode = WAL");
            return;
        } catch (const Error& error) {
            if (error.kind() != Error::Kind::Busy || std::chrono::steady_clock::now() > deadline)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool isWal(SqliteDb& db) {
    Statement mode(db, "PRAGMA journal_mode");
    return mode.step() && mode.text(0) == "wal";
}

} // namespace

void prepareForWriting(SqliteDb& db) {
    db.exec("PRAGMA synchronous = FULL");
    Identity id = identify(db);
    if (!id.ours && !id.empty)
        db.keepLogOnClose(); // another program's log stays its own
    requireOurs(db, id);
    if (!isUpToDate(id)) {
        // A new file is still in rollback mode here: nobody has written a
        // WAL for it that a second creator could take for a leftover.
        db.exec("BEGIN EXCLUSIVE");
        try {
            id = identify(db); // another program may have done it while this one waited
            requireOurs(db, id);
            if (!isUpToDate(id)) {
                applySchemaSteps(db, id.version);
                db.exec(
                    ("PRAGMA application_id = " + std::to_string(HISTORY_APPLICATION_ID)).c_str());
            }
            db.exec("COMMIT");
        } catch (...) {
            try {
                db.exec("ROLLBACK");
            } catch (const Error&) {
            }
            throw;
        }
    }
    // The mode stays with the file: the dialog and a reader share it.
    if (!isWal(db))
        switchToWal(db);
}

bool prepareForReading(SqliteDb& db) {
    Identity id;
    try {
        id = identify(db);
    } catch (const Error& error) {
        // A WAL file in a folder this user cannot write: no -shm can be made.
        if (error.kind() != Error::Kind::ReadOnly && error.kind() != Error::Kind::CannotOpen)
            throw;
        db.reopenImmutable();
        id = identify(db);
    }
    requireOurs(db, id);
    if (id.empty)
        throw Error(Error::Kind::Other,
                    db.path() + ": an empty file: no program has written it yet");
    return id.version == currentSchemaVersion();
}

} // namespace history
