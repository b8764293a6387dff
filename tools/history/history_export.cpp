#include "tools/history/history_export.h"

#include <vector>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "platform/atomic_file.h"

ExportOutcome ExportRecords(history::RecordStore& store, const HistoryOptions& options,
                            const std::string& path) {
    ExportOutcome outcome;
    if (options.format == ExportFormat::Xlsx || options.format == ExportFormat::Pdf) {
        outcome.status = HISTORY_BAD_USAGE;
        outcome.message = "this build writes the table and report forms only";
        return outcome;
    }
    AtomicFile file(path, options.force ? ReplacePolicy::Replace : ReplacePolicy::KeepExisting);
    FileStatus status = file.OpenStatus();
    if (!status.Ok()) {
        outcome.status = HISTORY_NOT_WRITTEN;
        outcome.message = path + ": " + status.Reason() +
                          (status.error == EEXIST ? " (use --force to overwrite it)" : "");
        return outcome;
    }
    std::vector<ArchiveRecord> records;
    store.forEachRecord(options.filter, [&](const history::StoredRecord& stored) {
        records.push_back(stored.record);
        return true;
    });
    // The cells of the latest download: the parameters the instrument holds now.
    const EmptyCellTable cells = store.latestEmptyCells().value_or(EmptyCellTable{});
    FormatRecords(records.data(), records.size(), cells,
                  options.format == ExportFormat::Table ? 1 : 0, decimalSeparator(),
                  [&](std::string_view piece) {
                      status = file.Write(piece);
                      return status.Ok();
                  });
    if (status.Ok())
        status = file.Commit();
    if (!status.Ok()) {
        outcome.status = HISTORY_NOT_WRITTEN;
        outcome.message = path + ": " + status.Reason();
        return outcome;
    }
    outcome.records = static_cast<long>(records.size());
    return outcome;
}
