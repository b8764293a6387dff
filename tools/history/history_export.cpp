#include "tools/history/history_export.h"

#include <cerrno>
#include <ctime>
#include <vector>

#include "archive/archive_record.h"
#include "exports/export_content.h"
#include "exports/results_forms.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

ExportOutcome ExportRecords(history::RecordStore& store, const HistoryOptions& options,
                            const std::string& path) {
    ExportOutcome outcome;
    const ReplacePolicy policy =
        options.force ? ReplacePolicy::Replace : ReplacePolicy::KeepExisting;
    // Refused before the records are gathered, which may take a while.
    const FileStatus target = CheckNewFileTarget(path, policy);
    if (!target.Ok()) {
        outcome.status = HISTORY_NOT_WRITTEN;
        outcome.message =
            target.error == EEXIST
                ? Format(Msg("%s exists (use --force to overwrite it)"), path.c_str())
                : Format(Msg("cannot write %s: %s"), path.c_str(), target.Reason().c_str());
        return outcome;
    }
    std::vector<ArchiveRecord> records;
    store.forEachRecord(options.filter, [&](const history::StoredRecord& stored) {
        records.push_back(stored.record);
        return true;
    });
    // An empty report would pass for the result of a query that found
    // something; a form the filters cannot fill is not written at all.
    if (exports::ReportableRecords(records).empty()) {
        outcome.status = HISTORY_NOTHING_MATCHED;
        outcome.message =
            records.empty()
                ? Format(Msg("no record matches the filters: %s not written"), path.c_str())
                : Format(Msg("no record that a results file shows matches the "
                             "filters: %s not written"),
                         path.c_str());
        return outcome;
    }
    exports::ExportContent content;
    content.records = records;
    // The cells of the latest download: the parameters the instrument holds now.
    content.emptyCells = store.latestEmptyCells().value_or(EmptyCellTable{});
    content.title.downloadTime = std::time(nullptr);
    content.title.port = "архив измерений";
    const WriteOutcome written =
        exports::WriteResultsForm(options.format, content, path, decimalSeparator(), policy);
    if (!written.ok) {
        outcome.status = HISTORY_NOT_WRITTEN;
        outcome.message = Format(Msg("cannot write %s: %s"), path.c_str(), written.reason.c_str());
        return outcome;
    }
    outcome.records = static_cast<long>(records.size());
    return outcome;
}
