// tarvex-history: looks back over the measurement history that every
// download adds to. See HistoryUsage for the command line.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "exports/text_painter.h"
#include "history/history_path.h"
#include "history/record_fields.h"
#include "history/record_store.h"
#include "platform/atomic_file.h"
#include "tools/history/history_export.h"
#include "tools/history/history_list.h"
#include "tools/history/history_options.h"

namespace {

std::string When(const std::optional<history::Minutes>& minutes) {
    return minutes ? history::formatMinutes(*minutes) : std::string("-");
}

void PrintStats(history::RecordStore& store, const std::string& path) {
    const history::Stats stats = store.stats();
    std::printf("History:          %s\n", path.c_str());
    std::printf("Records:          %lld\n", static_cast<long long>(stats.records));
    std::printf("Downloads:        %lld\n", static_cast<long long>(stats.downloads));
    std::printf("First measured:   %s\n", When(stats.firstMeasured).c_str());
    std::printf("Last measured:    %s\n", When(stats.lastMeasured).c_str());
    std::printf("File size:        %lld bytes (%.1f MB)\n", static_cast<long long>(stats.fileBytes),
                static_cast<double>(stats.fileBytes) / 1e6);
}

int Run(const HistoryOptions& options, history::RecordStore& store, const std::string& path) {
    switch (options.command) {
    case HistoryCommand::List: {
        RecordLister lister(stdout, options.csv);
        store.forEachRecord(options.filter, [&](const history::StoredRecord& stored) {
            lister.Add(stored);
            return true;
        });
        lister.Finish();
        return HISTORY_OK;
    }
    case HistoryCommand::Stats:
        PrintStats(store, path);
        return HISTORY_OK;
    case HistoryCommand::Export: {
        const std::string output =
            options.output.empty() ? DefaultExportName(options.format) : options.output;
        const ExportOutcome outcome = ExportRecords(store, options, output);
        exports::ReleaseFontCaches(); // the PDF report's, so that leak checkers see none
        if (outcome.status != HISTORY_OK) {
            std::fprintf(stderr, "tarvex-history: %s\n", outcome.message.c_str());
            return outcome.status;
        }
        std::printf("%s: %ld records\n", output.c_str(), outcome.records);
        return HISTORY_OK;
    }
    case HistoryCommand::None:
        break;
    }
    return HISTORY_BAD_USAGE;
}

} // namespace

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    HistoryOptions options;
    const std::string error = ParseHistoryOptions(args, options);
    if (!error.empty()) {
        std::fprintf(stderr, "tarvex-history: %s\n%s", error.c_str(), HistoryUsage());
        return HISTORY_BAD_USAGE;
    }
    if (options.help) {
        std::fputs(HistoryUsage(), stdout);
        return HISTORY_OK;
    }
    const std::string path =
        options.database.empty() ? history::defaultHistoryPath() : options.database;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        std::fprintf(stderr,
                     "tarvex-history: no history at %s yet: the first download "
                     "(tarvex-read or the dialog) makes it\n",
                     path.empty() ? "(no home folder)" : path.c_str());
        return HISTORY_NOT_READABLE;
    }
    try {
        auto store = history::openHistory(path, history::OpenMode::ReadOnly);
        return Run(options, *store, path);
    } catch (const history::Error& e) {
        std::fprintf(stderr, "tarvex-history: the history cannot be read: %s\n", e.what());
        return HISTORY_NOT_READABLE;
    }
}
