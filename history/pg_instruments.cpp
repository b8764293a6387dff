// The instruments of the shared history: listed, named and joined, each
// change in its own transaction as the history file does it.
#include "history/pg_store_parts.h"

namespace history {

namespace {

// Locks the instrument's row for the rest of the transaction; throws when unknown.
std::string lockInstrument(PgConnection& db, std::int64_t id) {
    const PgResult found =
        db.exec("SELECT coalesce(name, '') FROM tarvex.instruments WHERE id = $1 FOR UPDATE",
                {std::to_string(id)});
    if (found.rows() == 0)
        throw Error(Error::Kind::Other,
                    db.location() + ": no instrument " + std::to_string(id) + " in the history");
    return found.text(0, 0);
}

void rename(PgConnection& db, std::int64_t id, const std::string& name) {
    if (!name.empty()) {
        const PgResult taken =
            db.exec("SELECT id FROM tarvex.instruments WHERE name = $1 AND id <> $2",
                    {name, std::to_string(id)});
        if (taken.rows() > 0)
            throw Error(Error::Kind::Other, db.location() + ": the name " + name +
                                                " is taken by instrument " + taken.text(0, 0));
    }
    db.exec("UPDATE tarvex.instruments SET name = $1 WHERE id = $2",
            {name.empty() ? PgParam() : PgParam(name), std::to_string(id)});
}

} // namespace

std::vector<InstrumentInfo> listServerInstruments(PgConnection& db) {
    const PgResult rows =
        db.exec("SELECT i.id, coalesce(i.name, ''), coalesce(d.device, ''), i.records, "
                "i.downloads, i.last_time FROM tarvex.instruments i "
                "LEFT JOIN tarvex.downloads d ON d.id = i.last_download ORDER BY i.id");
    std::vector<InstrumentInfo> instruments;
    for (int row = 0; row < rows.rows(); ++row)
        instruments.push_back(InstrumentInfo{rows.integer(row, 0), rows.text(row, 1),
                                             rows.text(row, 2), rows.integer(row, 3),
                                             rows.integer(row, 4), rows.integer(row, 5)});
    return instruments;
}

void nameServerInstrument(PgConnection& db, std::int64_t id, const std::string& name) {
    inTransaction(db, [&] {
        lockInstrument(db, id);
        rename(db, id, name);
    });
}

void joinServerInstruments(PgConnection& db, std::int64_t into, std::int64_t from) {
    inTransaction(db, [&] {
        // In id order, as any other join locks them.
        const std::string first = lockInstrument(db, std::min(into, from));
        const std::string second = lockInstrument(db, std::max(into, from));
        if (into == from)
            throw Error(Error::Kind::Other, db.location() + ": instrument " + std::to_string(into) +
                                                " cannot be joined with itself");
        const std::string& intoName = into < from ? first : second;
        const std::string& fromName = into < from ? second : first;
        const std::vector<PgParam> ids = {std::to_string(into), std::to_string(from)};
        db.exec("UPDATE tarvex.records SET instrument = $1 WHERE instrument = $2", ids);
        db.exec("UPDATE tarvex.downloads SET instrument = $1 WHERE instrument = $2", ids);
        db.exec("UPDATE tarvex.instruments i SET records = i.records + f.records, "
                "downloads = i.downloads + f.downloads, "
                "last_time = greatest(i.last_time, f.last_time), "
                "last_download = greatest(i.last_download, f.last_download) "
                "FROM tarvex.instruments f WHERE i.id = $1 AND f.id = $2",
                ids);
        db.exec("DELETE FROM tarvex.instruments WHERE id = $2 AND $1::bigint IS NOT NULL", ids);
        rename(db, into, intoName.empty() ? fromName : intoName);
    });
}

} // namespace history
