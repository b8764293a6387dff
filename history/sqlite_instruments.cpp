#include "history/sqlite_instruments.h"

#include <cstring>

#include "history/record_fields.h"

namespace history {

namespace {

bool instrumentExists(SqliteDb& db, std::int64_t id) {
    Statement query(db, "SELECT 1 FROM instruments WHERE id = ?");
    query.bind(1, id);
    return query.step();
}

void requireInstrument(SqliteDb& db, std::int64_t id) {
    if (!instrumentExists(db, id))
        throw Error(Error::Kind::Other,
                    db.path() + ": no instrument " + std::to_string(id) + " in the history");
}

std::string nameOf(SqliteDb& db, std::int64_t id) {
    Statement query(db, "SELECT coalesce(name, '') FROM instruments WHERE id = ?");
    query.bind(1, id);
    return query.step() ? query.text(0) : std::string();
}

} // namespace

RecordFinder::RecordFinder(SqliteDb& db)
    : m_find(db, "SELECT id, coalesce(instrument, 0), bytes FROM records WHERE key = ?") {}

FoundRecord RecordFinder::find(const ArchiveRecord& record) {
    m_find.bind(1, recordKey(record));
    FoundRecord found;
    while (found.id == 0 && m_find.step()) {
        const auto blob = m_find.blob(2);
        if (blob.size() == sizeof record.bytes &&
            std::memcmp(blob.data(), record.bytes, sizeof record.bytes) == 0)
            found = FoundRecord{m_find.integer(0), m_find.integer(1)};
    }
    m_find.reset();
    return found;
}

DownloadInstrument instrumentOfDownload(SqliteDb& db, std::optional<std::int64_t> given,
                                        std::span<const FoundRecord> found, bool anyRecord) {
    if (given && instrumentExists(db, *given))
        return {*given, false};
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        if (it->instrument != 0)
            return {it->instrument, false};
    if (!anyRecord)
        return {};
    db.exec("INSERT INTO instruments(name) VALUES(NULL)");
    return {db.lastInsertId(), true};
}

void fillMissingInstruments(SqliteDb& db) {
    db.exec(R"sql(
    INSERT OR IGNORE INTO instruments(id)
        SELECT DISTINCT instrument FROM downloads WHERE instrument IS NOT NULL
        UNION SELECT DISTINCT instrument FROM records WHERE instrument IS NOT NULL;
    CREATE TEMP TABLE held(download INTEGER PRIMARY KEY, instrument INTEGER);
    INSERT INTO temp.held SELECT download, max(instrument) FROM records
        WHERE download IS NOT NULL AND instrument IS NOT NULL GROUP BY download;
    UPDATE downloads SET instrument = (SELECT instrument FROM temp.held h WHERE h.download = downloads.id)
        WHERE instrument IS NULL;
    DROP TABLE temp.held;
    CREATE TEMP TABLE device_instrument(device TEXT PRIMARY KEY, instrument INTEGER);
    INSERT INTO temp.device_instrument(device, instrument)
        SELECT device, (SELECT coalesce(max(id), 0) FROM instruments)
                       + row_number() OVER (ORDER BY min(id))
        FROM downloads WHERE instrument IS NULL GROUP BY device;
    INSERT INTO instruments(id) SELECT instrument FROM temp.device_instrument;
    UPDATE downloads SET instrument =
        (SELECT instrument FROM temp.device_instrument t WHERE t.device = downloads.device)
        WHERE instrument IS NULL;
    DROP TABLE temp.device_instrument;
    UPDATE records SET download = (SELECT min(download) FROM sightings WHERE record = records.id)
        WHERE download IS NULL;
    UPDATE records SET instrument = (SELECT instrument FROM downloads WHERE id = records.download)
        WHERE instrument IS NULL;
    )sql");
}

std::vector<InstrumentInfo> listInstruments(SqliteDb& db) {
    Statement query(db,
                    "SELECT i.id, coalesce(i.name, ''),"
                    " coalesce((SELECT device FROM downloads d WHERE d.instrument = i.id"
                    "           ORDER BY d.id DESC LIMIT 1), ''),"
                    " (SELECT count(*) FROM records r WHERE r.instrument = i.id),"
                    " (SELECT count(*) FROM downloads d WHERE d.instrument = i.id),"
                    " coalesce((SELECT max(time) FROM downloads d WHERE d.instrument = i.id), 0)"
                    " FROM instruments i ORDER BY i.id");
    std::vector<InstrumentInfo> instruments;
    while (query.step())
        instruments.push_back(InstrumentInfo{query.integer(0), query.text(1), query.text(2),
                                             query.integer(3), query.integer(4), query.integer(5)});
    return instruments;
}

void setInstrumentName(SqliteDb& db, std::int64_t id, const std::string& name) {
    requireInstrument(db, id);
    if (!name.empty()) {
        Statement taken(db, "SELECT id FROM instruments WHERE name = ? AND id <> ?");
        taken.bind(1, name).bind(2, id);
        if (taken.step())
            throw Error(Error::Kind::Other, db.path() + ": the name " + name +
                                                " is taken by instrument " +
                                                std::to_string(taken.integer(0)));
    }
    Statement rename(db, "UPDATE instruments SET name = ? WHERE id = ?");
    if (name.empty())
        rename.bindNull(1);
    else
        rename.bind(1, name);
    rename.bind(2, id);
    rename.step();
}

void mergeInstruments(SqliteDb& db, std::int64_t into, std::int64_t from) {
    requireInstrument(db, into);
    requireInstrument(db, from);
    if (into == from)
        throw Error(Error::Kind::Other, db.path() + ": instrument " + std::to_string(into) +
                                            " cannot be joined with itself");
    const std::string name = nameOf(db, into).empty() ? nameOf(db, from) : nameOf(db, into);
    for (const char* sql : {"UPDATE records SET instrument = ?1 WHERE instrument = ?2",
                            "UPDATE downloads SET instrument = ?1 WHERE instrument = ?2",
                            "DELETE FROM instruments WHERE id = ?2"}) {
        Statement move(db, sql);
        move.bind(1, into).bind(2, from);
        move.step();
    }
    setInstrumentName(db, into, name);
}

} // namespace history
