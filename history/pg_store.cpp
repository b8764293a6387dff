// The shared history on a PostgreSQL server behind the same interface as the
// history file, so that every program reads and writes it alike. Long reads
// go through a cursor: the first rows come at once, and stopping early does
// not fetch the rest.
#include <cstring>

#include "history/pg_connection.h"
#include "history/pg_schema.h"
#include "history/pg_store_parts.h"
#include "history/server_store.h"

namespace history {

namespace {

constexpr int FETCH_ROWS = 1000;

template <size_t N> void copyBytes(const std::vector<std::uint8_t>& bytes, std::uint8_t (&out)[N]) {
    std::memset(out, 0, N);
    std::memcpy(out, bytes.data(), std::min(bytes.size(), N));
}

// time, port, device, position, count, empty_cells, last_record, instrument
constexpr const char* DOWNLOAD_COLUMNS =
    "time, port, device, position, count, empty_cells, last_record, instrument";

DownloadEntry downloadAt(const PgResult& rows, int row) {
    DownloadEntry entry;
    entry.time = rows.integer(row, 0);
    entry.port = rows.text(row, 1);
    entry.device = rows.text(row, 2);
    entry.position = static_cast<int>(rows.integer(row, 3));
    entry.count = static_cast<int>(rows.integer(row, 4));
    copyBytes(rows.bytes(row, 5), entry.emptyCells.bytes);
    copyBytes(rows.bytes(row, 6), entry.lastRecord.bytes);
    entry.instrument = rows.optionalInteger(row, 7);
    return entry;
}

class PgStore : public RecordStore {
public:
    PgStore(const std::string& location, OpenMode mode) : m_db(location) {
        if (mode == OpenMode::ReadOnly)
            m_db.exec("SET default_transaction_read_only = on");
        checkServerSchema(m_db);
    }

    MergeOutcome mergeDownload(const DownloadEntry& download,
                               std::span<const ArchiveRecord> records,
                               const std::function<void(int)>& progress) override {
        return mergeIntoServer(m_db, download, records, progress);
    }

    std::optional<LastDownload> lastDownload(const std::string& device) override {
        const PgResult rows = m_db.exec("SELECT time, position, last_record FROM tarvex.downloads "
                                        "WHERE device = $1 ORDER BY id DESC LIMIT 1",
                                        {device});
        if (rows.rows() == 0)
            return std::nullopt;
        LastDownload last;
        last.time = rows.integer(0, 0);
        last.position = static_cast<int>(rows.integer(0, 1));
        copyBytes(rows.bytes(0, 2), last.lastRecord.bytes);
        return last;
    }

    void forEachRecord(const Filter& filter,
                       const std::function<bool(const StoredRecord&)>& visit) override {
        std::string sql = "SELECT id, measured, bytes, coalesce(instrument, 0), "
                          "coalesce(download, 0) FROM tarvex.records WHERE true";
        std::vector<PgParam> values;
        auto require = [&](const char* condition, const std::optional<std::int64_t>& value) {
            if (value) {
                values.emplace_back(std::to_string(*value));
                sql += condition + std::to_string(values.size()) + "::bigint";
            }
        };
        require(" AND sample = $", filter.sample);
        require(" AND cell = $", filter.cell);
        require(" AND measured >= $", filter.from);
        require(" AND measured <= $", filter.to);
        require(" AND instrument = $", filter.instrument);
        sql += " ORDER BY measured, id";
        StoredRecord stored;
        forEachRow(sql, values, [&](const PgResult& rows, int row) {
            stored.id = rows.integer(row, 0);
            stored.measured = rows.optionalInteger(row, 1);
            copyBytes(rows.bytes(row, 2), stored.record.bytes);
            stored.instrument = rows.integer(row, 3);
            stored.download = rows.integer(row, 4);
            return visit(stored);
        });
    }

    std::optional<EmptyCellTable> latestEmptyCells() override {
        const PgResult rows =
            m_db.exec("SELECT empty_cells FROM tarvex.downloads ORDER BY id DESC LIMIT 1");
        if (rows.rows() == 0)
            return std::nullopt;
        EmptyCellTable cells{};
        copyBytes(rows.bytes(0, 0), cells.bytes);
        return cells;
    }

    Stats stats() override {
        // The tables' bytes with their indexes: the server's share of the history.
        const PgResult rows = m_db.exec(
            "SELECT (SELECT count(*) FROM tarvex.records), "
            "(SELECT count(*) FROM tarvex.downloads), "
            "(SELECT min(measured) FROM tarvex.records), "
            "(SELECT max(measured) FROM tarvex.records), "
            "(SELECT sum(pg_total_relation_size(('tarvex.' || t)::regclass))::bigint FROM "
            "unnest(array['records', 'downloads', 'sightings', 'instruments']) AS t)");
        Stats stats;
        stats.records = rows.integer(0, 0);
        stats.downloads = rows.integer(0, 1);
        stats.firstMeasured = rows.optionalInteger(0, 2);
        stats.lastMeasured = rows.optionalInteger(0, 3);
        stats.fileBytes = rows.integer(0, 4);
        return stats;
    }

    std::optional<std::int64_t> instrumentHolding(const ArchiveRecord& record) override {
        const PgResult rows =
            m_db.exec("SELECT instrument FROM tarvex.records WHERE bytes = $1::bytea",
                      {byteaParam(record.bytes, sizeof record.bytes)});
        if (rows.rows() == 0 || rows.isNull(0, 0))
            return std::nullopt;
        return rows.integer(0, 0);
    }

    std::vector<InstrumentInfo> instruments() override { return listServerInstruments(m_db); }

    void nameInstrument(std::int64_t id, const std::string& name) override {
        nameServerInstrument(m_db, id, name);
    }

    void joinInstruments(std::int64_t into, std::int64_t from) override {
        joinServerInstruments(m_db, into, from);
    }

    std::optional<DownloadEntry> download(std::int64_t id) override {
        const PgResult rows = m_db.exec(std::string("SELECT ") + DOWNLOAD_COLUMNS +
                                            " FROM tarvex.downloads WHERE id = $1::bigint",
                                        {std::to_string(id)});
        if (rows.rows() == 0)
            return std::nullopt;
        return downloadAt(rows, 0);
    }

    void
    forEachDownload(const std::function<bool(std::int64_t, const DownloadEntry&)>& visit) override {
        forEachRow(std::string("SELECT ") + DOWNLOAD_COLUMNS +
                       ", id FROM tarvex.downloads ORDER BY id",
                   {}, [&](const PgResult& rows, int row) {
                       return visit(rows.integer(row, 8), downloadAt(rows, row));
                   });
    }

    std::vector<ArchiveRecord> downloadRecords(std::int64_t id) override {
        const PgResult rows = m_db.exec("SELECT r.bytes FROM tarvex.sightings s "
                                        "JOIN tarvex.records r ON r.id = s.record "
                                        "WHERE s.download = $1::bigint ORDER BY r.id",
                                        {std::to_string(id)});
        std::vector<ArchiveRecord> records(static_cast<size_t>(rows.rows()));
        for (int row = 0; row < rows.rows(); ++row)
            copyBytes(rows.bytes(row, 0), records[static_cast<size_t>(row)].bytes);
        return records;
    }

    std::string describe() const override { return m_db.describe(); }

private:
    // Runs sql through a cursor, FETCH_ROWS at a time, until visit returns
    // false. A visit may use the store meanwhile (inside the same transaction).
    void forEachRow(const std::string& sql, const std::vector<PgParam>& params,
                    const std::function<bool(const PgResult&, int)>& visit) {
        const bool outermost = m_openCursors == 0;
        const std::string cursor = "tarvex_rows_" + std::to_string(++m_openCursors);
        struct Closing {
            PgStore& store;
            bool outermost;
            bool done = false;
            ~Closing() {
                --store.m_openCursors;
                if (outermost && !done) {
                    try {
                        store.m_db.exec("ROLLBACK");
                    } catch (const Error&) {
                        // The cursor and its transaction went with the connection.
                    }
                }
            }
        } closing{*this, outermost};
        if (outermost)
            m_db.exec("BEGIN");
        m_db.exec("DECLARE " + cursor + " NO SCROLL CURSOR FOR " + sql, params);
        const std::string fetch = "FETCH " + std::to_string(FETCH_ROWS) + " FROM " + cursor;
        bool more = true;
        while (more) {
            const PgResult rows = m_db.exec(fetch);
            for (int row = 0; row < rows.rows() && more; ++row)
                more = visit(rows, row);
            if (rows.rows() < FETCH_ROWS)
                break;
        }
        m_db.exec("CLOSE " + cursor);
        if (outermost)
            m_db.exec("COMMIT");
        closing.done = true;
    }

    PgConnection m_db;
    int m_openCursors = 0;
};

} // namespace

std::unique_ptr<RecordStore> openServerHistory(const std::string& location, OpenMode mode) {
    return std::make_unique<PgStore>(location, mode);
}

ServerInit initServerHistory(const std::string& location) {
    PgConnection db(location);
    ServerInit init;
    init.versionBefore = initServerSchema(db);
    init.version = currentServerSchemaVersion();
    init.where = db.describe();
    init.grants = serverRoleGrants();
    return init;
}

} // namespace history
