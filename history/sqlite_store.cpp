// The history in one SQLite file beside the user's other data. WAL mode lets
// the dialog and a scheduled reader use it at the same time: readers never
// wait, and a writer waits for the other's merge through the busy time-out.
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "history/history_file.h"
#include "history/record_fields.h"
#include "history/record_store.h"
#include "history/server_location.h"
#include "history/server_store.h"
#include "history/sqlite_db.h"
#include "history/sqlite_instruments.h"

namespace history {

namespace {

std::span<const std::uint8_t> bytesOf(const ArchiveRecord& record) {
    return record.bytes;
}

template <size_t N> void copyBlob(std::span<const std::uint8_t> blob, std::uint8_t (&out)[N]) {
    std::memset(out, 0, N);
    std::memcpy(out, blob.data(), std::min(blob.size(), N));
}

// Rolls the open transaction back unless it was committed.
class Transaction {
public:
    explicit Transaction(SqliteDb& db) : m_db(db) { m_db.exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!m_committed) {
            try {
                m_db.exec("ROLLBACK");
            } catch (const Error&) {
                // The file is left as it was before BEGIN either way.
            }
        }
    }
    void commit() {
        m_db.exec("COMMIT");
        m_committed = true;
    }

private:
    SqliteDb& m_db;
    bool m_committed = false;
};

class SqliteStore : public RecordStore {
public:
    SqliteStore(const std::string& path, OpenMode mode) : m_db(path, mode) {
        if (mode == OpenMode::ReadWrite)
            prepareForWriting(m_db);
        else if (!prepareForReading(m_db))
            bringUpToDate(path);
    }

    MergeOutcome mergeDownload(const DownloadEntry& download,
                               std::span<const ArchiveRecord> records,
                               const std::function<void(int)>& progress) override {
        MergeOutcome outcome;
        Transaction transaction(m_db);
        // The records it holds already tell which instrument this is.
        RecordFinder finder(m_db);
        std::vector<FoundRecord> found(records.size());
        bool anyRecord = false;
        for (size_t i = 0; i < records.size(); ++i) {
            if (records[i].IsReportable()) {
                found[i] = finder.find(records[i]);
                anyRecord = true;
            }
        }
        const DownloadInstrument instrument =
            instrumentOfDownload(m_db, download.instrument, found, anyRecord);
        outcome.instrumentId = instrument.id;
        outcome.newInstrument = instrument.isNew;

        Statement logDownload(m_db, "INSERT INTO downloads(time, port, device, position, count, "
                                    "empty_cells, last_record, instrument) "
                                    "VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
        logDownload.bind(1, download.time)
            .bind(2, download.port)
            .bind(3, download.device)
            .bind(4, static_cast<std::int64_t>(download.position))
            .bind(5, static_cast<std::int64_t>(download.count))
            .bind(6, std::span<const std::uint8_t>(download.emptyCells.bytes))
            .bind(7, bytesOf(download.lastRecord));
        bindInstrument(logDownload, 8, instrument.id);
        logDownload.step();
        outcome.downloadId = lastRowId();

        Statement add(m_db, "INSERT INTO records(key, sample, cell, measured, bytes, instrument, "
                            "download) VALUES(?, ?, ?, ?, ?, ?, ?)");
        Statement saw(m_db, "INSERT OR IGNORE INTO sightings(record, download) VALUES(?, ?)");
        std::unordered_map<std::string, std::int64_t> addedNow; // bytes -> id
        int done = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            const ArchiveRecord& record = records[i];
            if (record.IsReportable()) {
                // A record seen twice in this download is added once.
                const std::string bytes(reinterpret_cast<const char*>(record.bytes),
                                        sizeof record.bytes);
                std::int64_t id = found[i].id;
                if (id == 0) {
                    if (const auto it = addedNow.find(bytes); it != addedNow.end())
                        id = it->second;
                }
                if (id == 0) {
                    add.bind(1, recordKey(record))
                        .bind(2, static_cast<std::int64_t>(record.sampleNumber()))
                        .bind(3, static_cast<std::int64_t>(record.cellNumber()));
                    if (const auto measured = measuredAt(record))
                        add.bind(4, *measured);
                    else
                        add.bindNull(4);
                    add.bind(5, bytesOf(record));
                    bindInstrument(add, 6, instrument.id);
                    add.bind(7, outcome.downloadId);
                    add.step();
                    add.reset();
                    id = lastRowId();
                    addedNow.emplace(bytes, id);
                    ++outcome.added;
                } else {
                    ++outcome.known;
                }
                saw.bind(1, id).bind(2, outcome.downloadId);
                saw.step();
                saw.reset();
            }
            ++done;
            if (progress)
                progress(done);
        }
        Statement count(m_db, "UPDATE downloads SET added = ? WHERE id = ?");
        count.bind(1, static_cast<std::int64_t>(outcome.added)).bind(2, outcome.downloadId);
        count.step();
        transaction.commit();
        return outcome;
    }

    std::optional<LastDownload> lastDownload(const std::string& device) override {
        Statement query(m_db, "SELECT time, position, last_record FROM downloads "
                              "WHERE device = ? ORDER BY id DESC LIMIT 1");
        query.bind(1, device);
        if (!query.step())
            return std::nullopt;
        LastDownload last;
        last.time = query.integer(0);
        last.position = static_cast<int>(query.integer(1));
        copyBlob(query.blob(2), last.lastRecord.bytes);
        return last;
    }

    void forEachRecord(const Filter& filter,
                       const std::function<bool(const StoredRecord&)>& visit) override {
        std::string sql = "SELECT id, measured, bytes, coalesce(instrument, 0), "
                          "coalesce(download, 0) FROM records WHERE 1";
        std::vector<std::int64_t> values;
        auto require = [&](const char* condition, const std::optional<std::int64_t>& value) {
            if (value) {
                sql += condition;
                values.push_back(*value);
            }
        };
        require(" AND sample = ?", filter.sample);
        require(" AND cell = ?", filter.cell);
        require(" AND measured >= ?", filter.from);
        require(" AND measured <= ?", filter.to);
        require(" AND instrument = ?", filter.instrument);
        sql += " ORDER BY measured, id";
        Statement query(m_db, sql.c_str());
        for (size_t i = 0; i < values.size(); ++i)
            query.bind(static_cast<int>(i + 1), values[i]);
        StoredRecord stored;
        while (query.step()) {
            stored.id = query.integer(0);
            stored.measured =
                query.isNull(1) ? std::nullopt : std::optional<Minutes>(query.integer(1));
            copyBlob(query.blob(2), stored.record.bytes);
            stored.instrument = query.integer(3);
            stored.download = query.integer(4);
            if (!visit(stored))
                break;
        }
    }

    std::optional<EmptyCellTable> latestEmptyCells() override {
        Statement query(m_db, "SELECT empty_cells FROM downloads ORDER BY id DESC LIMIT 1");
        if (!query.step())
            return std::nullopt;
        EmptyCellTable cells{};
        copyBlob(query.blob(0), cells.bytes);
        return cells;
    }

    Stats stats() override {
        Stats stats;
        stats.records = queryInteger(m_db, "SELECT count(*) FROM records").value_or(0);
        stats.downloads = queryInteger(m_db, "SELECT count(*) FROM downloads").value_or(0);
        stats.firstMeasured = queryInteger(m_db, "SELECT min(measured) FROM records");
        stats.lastMeasured = queryInteger(m_db, "SELECT max(measured) FROM records");
        stats.fileBytes =
            queryInteger(m_db, "SELECT page_count * page_size FROM pragma_page_count(), "
                               "pragma_page_size()")
                .value_or(0);
        return stats;
    }

    std::optional<std::int64_t> instrumentHolding(const ArchiveRecord& record) override {
        // A --new scan asks once per record read: the statement is kept.
        if (!m_finder)
            m_finder = std::make_unique<RecordFinder>(m_db);
        const FoundRecord found = m_finder->find(record);
        if (found.id == 0 || found.instrument == 0)
            return std::nullopt;
        return found.instrument;
    }

    std::vector<InstrumentInfo> instruments() override { return listInstruments(m_db); }

    void nameInstrument(std::int64_t id, const std::string& name) override {
        Transaction transaction(m_db);
        setInstrumentName(m_db, id, name);
        transaction.commit();
    }

    void joinInstruments(std::int64_t into, std::int64_t from) override {
        Transaction transaction(m_db);
        mergeInstruments(m_db, into, from);
        transaction.commit();
    }

    std::optional<DownloadEntry> download(std::int64_t id) override {
        Statement query(m_db, "SELECT time, port, device, position, count, empty_cells, "
                              "last_record, instrument FROM downloads WHERE id = ?");
        query.bind(1, id);
        if (!query.step())
            return std::nullopt;
        return downloadAt(query);
    }

    void
    forEachDownload(const std::function<bool(std::int64_t, const DownloadEntry&)>& visit) override {
        Statement query(m_db, "SELECT time, port, device, position, count, empty_cells, "
                              "last_record, instrument, id FROM downloads ORDER BY id");
        while (query.step()) {
            if (!visit(query.integer(8), downloadAt(query)))
                break;
        }
    }

    std::vector<ArchiveRecord> downloadRecords(std::int64_t id) override {
        Statement query(m_db, "SELECT r.bytes FROM sightings s JOIN records r ON r.id = s.record "
                              "WHERE s.download = ? ORDER BY r.id");
        query.bind(1, id);
        std::vector<ArchiveRecord> records;
        while (query.step()) {
            records.emplace_back();
            copyBlob(query.blob(0), records.back().bytes);
        }
        return records;
    }

    std::string describe() const override { return m_db.path(); }

private:
    // A row of time, port, device, position, count, empty_cells, last_record, instrument.
    static DownloadEntry downloadAt(const Statement& query) {
        DownloadEntry entry;
        entry.time = query.integer(0);
        entry.port = query.text(1);
        entry.device = query.text(2);
        entry.position = static_cast<int>(query.integer(3));
        entry.count = static_cast<int>(query.integer(4));
        copyBlob(query.blob(5), entry.emptyCells.bytes);
        copyBlob(query.blob(6), entry.lastRecord.bytes);
        if (!query.isNull(7))
            entry.instrument = query.integer(7);
        return entry;
    }

    std::int64_t lastRowId() { return m_db.lastInsertId(); }

    // A file of an older layout, opened to be read: updated once where it
    // can be written, since this program's queries need the current layout.
    void bringUpToDate(const std::string& path) {
        try {
            SqliteDb writer(path, OpenMode::ReadWrite);
            prepareForWriting(writer);
        } catch (const Error& error) {
            throw Error(error.kind(), std::string(error.what()) +
                                          " (an older layout, to be brought up to date "
                                          "where the file can be written)");
        }
        if (!prepareForReading(m_db))
            throw Error(Error::Kind::Other, path + ": the layout could not be brought up to date");
    }

    static void bindInstrument(Statement& statement, int index, std::int64_t instrument) {
        if (instrument != 0)
            statement.bind(index, instrument);
        else
            statement.bindNull(index);
    }

    SqliteDb m_db;
    std::unique_ptr<RecordFinder> m_finder; // after m_db: finalized before it closes
};

} // namespace

std::unique_ptr<RecordStore> openHistory(const std::string& path, OpenMode mode) {
    if (isServerHistory(path))
        return openServerHistory(path, mode);
    return std::make_unique<SqliteStore>(path, mode);
}

} // namespace history
