#include "tools/history/history_export.h"

#include <cerrno>
#include <vector>

#include "archive/archive_record.h"
#include "exports/export_content.h"
#include "exports/results_forms.h"
#include "history/history_export.h"
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
    std::vector<history::StoredRecord> records;
    store.forEachRecord(options.filter, [&](const history::StoredRecord& stored) {
        records.push_back(stored);
        return true;
    });
    // Each record with the empty cells of the download it came from.
    const history::HistoryExport gathered(store, records);
    const exports::ExportContent& content = gathered.Content();
    // An empty report would pass for the result of a query that found
    // something; a form the filters cannot fill is not written at all.
    if (exports::ReportableRecords(content.records).empty()) {
        outcome.status = HISTORY_NOTHING_MATCHED;
        outcome.message =
            records.empty()
                ? Format(Msg("no record matches the filters: %s not written"), path.c_str())
                : Format(Msg("no record that a results file shows matches the "
                             "filters: %s not written"),
                         path.c_str());
        return outcome;
    }
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
