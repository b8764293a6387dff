#include "history/pg_schema.h"

#include <iterator>

#include "platform/messages.h"

namespace history {

namespace {

// Step k takes the tables from version k to k + 1. Steps are only ever added
// at the end; a released step is never changed.
const char* const STEPS[] = {
    // 1: records kept once (their 32 bytes unique), the download log (each
    // download once, by its token), which download saw which record, and the
    // instruments. Copies of the fields the filters use sit beside the bytes.
    R"sql(
    -- An instrument keeps its own totals, which its merges and joins bring
    -- up to date: listing the instruments does not count a million records.
    CREATE TABLE tarvex.instruments(
        id bigserial PRIMARY KEY,
        name text UNIQUE,
        records bigint NOT NULL DEFAULT 0,
        downloads bigint NOT NULL DEFAULT 0,
        last_time bigint NOT NULL DEFAULT 0,
        last_download bigint);
    CREATE TABLE tarvex.downloads(
        id bigserial PRIMARY KEY,
        token text NOT NULL UNIQUE,
        time bigint NOT NULL,
        port text NOT NULL,
        device text NOT NULL,
        position integer NOT NULL,
        count integer NOT NULL,
        added integer NOT NULL DEFAULT 0,
        empty_cells bytea NOT NULL,
        last_record bytea NOT NULL,
        instrument bigint);
    CREATE INDEX downloads_by_device ON tarvex.downloads(device, id);
    CREATE INDEX downloads_by_instrument ON tarvex.downloads(instrument, id);
    CREATE TABLE tarvex.records(
        id bigserial PRIMARY KEY,
        bytes bytea NOT NULL UNIQUE,
        sample integer NOT NULL,
        cell integer NOT NULL,
        measured bigint,
        instrument bigint,
        download bigint);
    CREATE INDEX records_by_sample ON tarvex.records(sample, measured);
    CREATE INDEX records_by_instrument ON tarvex.records(instrument, sample, measured);
    CREATE INDEX records_by_measured ON tarvex.records(measured, id);
    CREATE TABLE tarvex.sightings(
        record bigint NOT NULL,
        download bigint NOT NULL,
        PRIMARY KEY(record, download));
    CREATE INDEX sightings_by_download ON tarvex.sightings(download, record);
    )sql",
};

constexpr int STEP_COUNT = static_cast<int>(std::size(STEPS));

// The version the tables are at; 0 when there are none.
int versionOf(PgConnection& db) {
    const PgResult exists = db.exec("SELECT to_regclass('tarvex.schema_version') IS NOT NULL");
    if (exists.text(0, 0) != "t")
        return 0;
    const PgResult version = db.exec("SELECT max(version) FROM tarvex.schema_version");
    return static_cast<int>(version.integer(0, 0));
}

std::string runInit(const std::string& location) {
    return "tarvex-history init '" + location + "'";
}

} // namespace

int currentServerSchemaVersion() {
    return STEP_COUNT;
}

void checkServerSchema(PgConnection& db) {
    // One round trip: a missing table is an answer too.
    int version = 0;
    try {
        version = static_cast<int>(
            db.exec("SELECT max(version) FROM tarvex.schema_version").integer(0, 0));
    } catch (const Error& error) {
        if (error.kind() != Error::Kind::NotSetUp)
            throw;
    }
    if (version > STEP_COUNT)
        throw Error(Error::Kind::TooNew,
                    Format(Msg("%s: the shared history has layout %d, newer than this program "
                               "knows (%d)"),
                           db.location().c_str(), version, STEP_COUNT));
    if (version == 0)
        throw Error(Error::Kind::NotSetUp,
                    Format(Msg("%s: the server holds no Tarvex history yet: an administrator "
                               "creates it with %s"),
                           db.location().c_str(), runInit(db.location()).c_str()));
    if (version < STEP_COUNT)
        throw Error(Error::Kind::NotSetUp,
                    Format(Msg("%s: the shared history has an older layout (%d, this program "
                               "needs %d): an administrator brings it up to date with %s"),
                           db.location().c_str(), version, STEP_COUNT,
                           runInit(db.location()).c_str()));
}

int initServerSchema(PgConnection& db) {
    int before = 0;
    inTransaction(db, [&] {
        // Two administrators at once: the second waits here, then finds it done.
        db.exec("SELECT pg_advisory_xact_lock(7402261)");
        db.exec("CREATE SCHEMA IF NOT EXISTS tarvex");
        db.exec("CREATE TABLE IF NOT EXISTS tarvex.schema_version(version integer NOT NULL)");
        before = versionOf(db);
    });
    if (before > STEP_COUNT)
        checkServerSchema(db); // TooNew
    for (int step = before; step < STEP_COUNT; ++step) {
        inTransaction(db, [&] {
            db.exec("SELECT pg_advisory_xact_lock(7402261)");
            if (versionOf(db) != step)
                return; // another init took this step meanwhile
            db.script(STEPS[step], 0);
            db.exec("DELETE FROM tarvex.schema_version");
            db.exec("INSERT INTO tarvex.schema_version(version) VALUES($1)",
                    {std::to_string(step + 1)});
        });
    }
    return before;
}

std::string serverRoleGrants() {
    return R"sql(-- The PCs: they read, add downloads and records, name and join instruments.
CREATE ROLE tarvex_writer NOLOGIN;
GRANT USAGE ON SCHEMA tarvex TO tarvex_writer;
GRANT SELECT, INSERT, UPDATE ON tarvex.records, tarvex.downloads, tarvex.sightings
    TO tarvex_writer;
GRANT SELECT, INSERT, UPDATE, DELETE ON tarvex.instruments TO tarvex_writer;
GRANT SELECT ON tarvex.schema_version TO tarvex_writer;
GRANT USAGE ON ALL SEQUENCES IN SCHEMA tarvex TO tarvex_writer;
-- Viewers: they read only.
CREATE ROLE tarvex_reader NOLOGIN;
GRANT USAGE ON SCHEMA tarvex TO tarvex_reader;
GRANT SELECT ON ALL TABLES IN SCHEMA tarvex TO tarvex_reader;
-- Who may connect at all (the database's name as it is):
--   GRANT CONNECT ON DATABASE tarvex TO tarvex_writer, tarvex_reader;
-- Each PC or viewer logs in as its own role in one of the two:
--   CREATE ROLE lab_pc1 LOGIN PASSWORD '...' IN ROLE tarvex_writer;
--   CREATE ROLE head_office LOGIN PASSWORD '...' IN ROLE tarvex_reader;
)sql";
}

} // namespace history
