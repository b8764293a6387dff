#include "history/sqlite_schema.h"

#include <iterator>
#include <string>

namespace history {

namespace {

// Step k takes a file from version k to k + 1. Steps are only ever added at
// the end; a released step is never changed.
const char* const STEPS[] = {
    // 1: records kept once, the download log, and which download saw which record.
    // A record is its 32 bytes; key is a hash of them for the look-up, and
    // sample, cell and measured are copies of fields the queries filter on.
    R"sql(
    CREATE TABLE records(
        id INTEGER PRIMARY KEY,
        key INTEGER NOT NULL,
        sample INTEGER NOT NULL,
        cell INTEGER NOT NULL,
        measured INTEGER,
        bytes BLOB NOT NULL);
    CREATE INDEX records_by_key ON records(key);
    CREATE INDEX records_by_sample ON records(sample, measured);
    CREATE TABLE downloads(
        id INTEGER PRIMARY KEY,
        time INTEGER NOT NULL,
        port TEXT NOT NULL,
        device TEXT NOT NULL,
        position INTEGER NOT NULL,
        count INTEGER NOT NULL,
        added INTEGER NOT NULL DEFAULT 0,
        empty_cells BLOB NOT NULL,
        last_record BLOB NOT NULL);
    CREATE INDEX downloads_by_device ON downloads(device, id);
    CREATE TABLE sightings(
        record INTEGER NOT NULL,
        download INTEGER NOT NULL,
        PRIMARY KEY(record, download)) WITHOUT ROWID;
    )sql",
    // 2: instruments, told apart by the records their downloads share. A record
    // belongs to the instrument of the first download that saw it. A file of
    // the previous version knew only devices: one instrument per device, in
    // the order of their first downloads.
    R"sql(
    CREATE TABLE instruments(id INTEGER PRIMARY KEY, name TEXT);
    ALTER TABLE downloads ADD COLUMN instrument INTEGER;
    ALTER TABLE records ADD COLUMN instrument INTEGER;
    ALTER TABLE records ADD COLUMN download INTEGER;
    CREATE TEMP TABLE device_instrument(device TEXT PRIMARY KEY, instrument INTEGER);
    INSERT INTO temp.device_instrument(device, instrument)
        SELECT device, row_number() OVER (ORDER BY min(id)) FROM downloads GROUP BY device;
    INSERT INTO instruments(id) SELECT instrument FROM temp.device_instrument;
    UPDATE downloads SET instrument =
        (SELECT instrument FROM temp.device_instrument t WHERE t.device = downloads.device);
    DROP TABLE temp.device_instrument;
    UPDATE records SET download = (SELECT min(download) FROM sightings WHERE record = records.id);
    UPDATE records SET instrument = (SELECT instrument FROM downloads WHERE id = records.download);
    CREATE INDEX records_by_instrument ON records(instrument, sample, measured);
    CREATE INDEX downloads_by_instrument ON downloads(instrument, id);
    )sql",
    // 3: downloads this file keeps for a shared history that could not be
    // reached, each by the name any history gives it (see download_token.h),
    // until it has gone there. since: when it was kept, seconds since the epoch.
    R"sql(
    CREATE TABLE pending(token TEXT PRIMARY KEY, since INTEGER NOT NULL) WITHOUT ROWID;
    )sql",
};

constexpr int STEP_COUNT = static_cast<int>(std::size(STEPS));

} // namespace

int currentSchemaVersion() {
    return STEP_COUNT;
}

const char* schemaStep(int step) {
    return step >= 0 && step < STEP_COUNT ? STEPS[step] : nullptr;
}

void applySchemaSteps(SqliteDb& db, int version) {
    for (int step = version; step < STEP_COUNT; ++step)
        db.exec(STEPS[step]);
    db.exec(("PRAGMA user_version = " + std::to_string(STEP_COUNT)).c_str());
}

} // namespace history
