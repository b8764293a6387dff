// A download merged into the shared history in one transaction and a handful
// of round trips: the records go as arrays, whatever their number. Two PCs
// merging overlapping downloads at once insert the records they share in one
// order (by their bytes), so neither waits on a row the other will wait on.
#include <map>
#include <string>

#include "history/download_token.h"
#include "history/pg_store_parts.h"
#include "history/record_fields.h"

namespace history {

namespace {

struct NewRecord {
    std::int64_t sample = 0;
    std::int64_t cell = 0;
    std::optional<Minutes> measured;
};

PgParam optionalId(std::int64_t id) {
    return id != 0 ? PgParam(std::to_string(id)) : std::nullopt;
}

} // namespace

MergeOutcome mergeIntoServer(PgConnection& db, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records,
                             const std::function<void(int)>& progress) {
    // The reportable records in slot order (the instrument is told by the
    // newest known one), and once each sorted by their bytes.
    std::vector<PgParam> inSlotOrder;
    std::map<std::string, NewRecord> byBytes;
    for (const ArchiveRecord& record : records) {
        if (!record.IsReportable())
            continue;
        std::string bytes = byteaParam(record.bytes, sizeof record.bytes);
        inSlotOrder.emplace_back(bytes);
        byBytes.emplace(std::move(bytes),
                        NewRecord{record.sampleNumber(), record.cellNumber(), measuredAt(record)});
    }
    std::vector<PgParam> bytes, samples, cells, measured;
    for (const auto& [text, record] : byBytes) {
        bytes.emplace_back(text);
        samples.emplace_back(std::to_string(record.sample));
        cells.emplace_back(std::to_string(record.cell));
        measured.push_back(record.measured ? PgParam(std::to_string(*record.measured))
                                           : std::nullopt);
    }
    const std::string bytesArray = arrayParam(bytes);
    const int reportable = static_cast<int>(inSlotOrder.size());
    const std::string token = downloadToken(download);

    MergeOutcome outcome;
    inTransaction(db, [&] {
        outcome = {};
        const PgResult look = db.exec(
            "WITH logged AS (SELECT id, added, instrument FROM tarvex.downloads WHERE token = $1) "
            "SELECT (SELECT id FROM logged), (SELECT added FROM logged), "
            "(SELECT instrument FROM logged), "
            "(SELECT id FROM tarvex.instruments WHERE id = $2::bigint), "
            "(SELECT r.instrument FROM unnest($3::bytea[]) WITH ORDINALITY AS u(bytes, slot) "
            " JOIN tarvex.records r ON r.bytes = u.bytes WHERE r.instrument IS NOT NULL "
            " ORDER BY u.slot DESC LIMIT 1)",
            {token,
             download.instrument ? PgParam(std::to_string(*download.instrument)) : std::nullopt,
             arrayParam(inSlotOrder)});
        if (!look.isNull(0, 0)) {
            // Logged already: a merge tried again after its commit's reply was
            // lost, or a download imported twice. Nothing more is added.
            outcome.downloadId = look.integer(0, 0);
            outcome.added = static_cast<int>(look.integer(0, 1));
            outcome.known = reportable - outcome.added;
            outcome.instrumentId = look.integer(0, 2);
            return;
        }
        if (!look.isNull(0, 3))
            outcome.instrumentId = look.integer(0, 3);
        else if (!look.isNull(0, 4))
            outcome.instrumentId = look.integer(0, 4);
        else if (reportable > 0) {
            outcome.instrumentId =
                db.exec("INSERT INTO tarvex.instruments DEFAULT VALUES RETURNING id").integer(0, 0);
            outcome.newInstrument = true;
        }

        const PgResult logged = db.exec(
            "INSERT INTO tarvex.downloads(token, time, port, device, position, count, "
            "empty_cells, last_record, instrument) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) "
            "ON CONFLICT (token) DO NOTHING RETURNING id",
            {token, std::to_string(download.time), download.port, download.device,
             std::to_string(download.position), std::to_string(download.count),
             byteaParam(download.emptyCells.bytes, sizeof download.emptyCells.bytes),
             byteaParam(download.lastRecord.bytes, sizeof download.lastRecord.bytes),
             optionalId(outcome.instrumentId)});
        if (logged.rows() == 0) // another PC logged this very download just now
            throw PgError(Error::Kind::Busy, db.location() + ": the download was logged meanwhile",
                          "40001");
        outcome.downloadId = logged.integer(0, 0);
        const std::string downloadId = std::to_string(outcome.downloadId);

        // Records another PC adds meanwhile are waited for and count as known.
        const PgResult added =
            db.exec("WITH added AS (INSERT INTO tarvex.records(bytes, sample, cell, measured, "
                    "instrument, download) SELECT u.bytes, u.sample, u.cell, u.measured, "
                    "$5::bigint, $6::bigint "
                    "FROM unnest($1::bytea[], $2::integer[], $3::integer[], $4::bigint[]) "
                    "AS u(bytes, sample, cell, measured) ORDER BY u.bytes "
                    "ON CONFLICT (bytes) DO NOTHING RETURNING 1) SELECT count(*) FROM added",
                    {bytesArray, arrayParam(samples), arrayParam(cells), arrayParam(measured),
                     optionalId(outcome.instrumentId), downloadId});
        outcome.added = static_cast<int>(added.integer(0, 0));
        outcome.known = reportable - outcome.added;

        // The instrument's totals last: its row stays locked only until the commit.
        db.exec("WITH seen AS (INSERT INTO tarvex.sightings(record, download) "
                "SELECT r.id, $2::bigint FROM tarvex.records r WHERE r.bytes = ANY($1::bytea[]) "
                "ORDER BY r.id ON CONFLICT DO NOTHING RETURNING 1), "
                "counted AS (UPDATE tarvex.instruments SET records = records + $3::integer, "
                "downloads = downloads + 1, last_time = greatest(last_time, $5::bigint), "
                "last_download = greatest(last_download, $2::bigint) WHERE id = $4::bigint) "
                "UPDATE tarvex.downloads SET added = $3::integer WHERE id = $2::bigint",
                {bytesArray, downloadId, std::to_string(outcome.added),
                 optionalId(outcome.instrumentId), std::to_string(download.time)});
        // Everything is handled; only the commit is left.
        if (progress)
            progress(static_cast<int>(records.size()));
    });
    return outcome;
}

} // namespace history
