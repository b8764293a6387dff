// tarvex-history: looks back over the measurement history that every
// download adds to. See HistoryUsage for the command line.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "exports/text_painter.h"
#include "history/history_location.h"
#include "history/history_remedy.h"
#include "history/pending_downloads.h"
#include "history/record_fields.h"
#include "history/record_store.h"
#include "history/server_location.h"
#include "platform/atomic_file.h"
#include "platform/file_names.h"
#include "platform/messages.h"
#include "platform/program_arguments.h"
#include "tools/history/history_care_commands.h"
#include "tools/history/history_export.h"
#include "tools/history/history_instruments.h"
#include "tools/history/history_list.h"
#include "tools/history/history_options.h"
#include "tools/history/history_server_commands.h"
#include "tools/history/history_sharing.h"

namespace {

std::string When(const std::optional<history::Minutes>& minutes) {
    return minutes ? history::formatMinutes(*minutes) : std::string("-");
}

size_t Characters(const std::string& utf8) {
    size_t n = 0;
    for (const unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

// One "label: value" line each, the values in one column; the width counts
// characters, not bytes, so that translated labels line up too.
void PrintStats(history::RecordStore& store, const std::string& path) {
    const history::Stats stats = store.stats();
    std::vector<std::pair<std::string, std::string>> rows = {
        {Msg("History"), store.describe()},
        {Msg("Records"), std::to_string(stats.records)},
        {Msg("Downloads"), std::to_string(stats.downloads)},
        {Msg("First measured"), When(stats.firstMeasured)},
        {Msg("Last measured"), When(stats.lastMeasured)},
        {Msg("File size"),
         Format(Msg("%lld bytes (%.1f MB)"), static_cast<long long>(stats.fileBytes),
                static_cast<double>(stats.fileBytes) / 1e6)},
    };
    // Downloads kept here while the shared history could not take them.
    if (const std::int64_t waiting = history::pendingCount(path); waiting > 0)
        rows.emplace_back(Msg("Waiting to go"),
                          Format(MsgN("%lld download, for the shared history (tarvex-history "
                                      "push)",
                                      "%lld downloads, for the shared history (tarvex-history "
                                      "push)",
                                      static_cast<unsigned long>(waiting)),
                                 static_cast<long long>(waiting)));
    size_t width = 17;
    for (const auto& row : rows)
        width = std::max(width, Characters(row.first) + 1);
    for (const auto& [label, value] : rows)
        std::printf("%s:%s%s\n", label.c_str(), std::string(width - Characters(label), ' ').c_str(),
                    value.c_str());
}

int Run(HistoryOptions options, history::RecordStore& store, const std::string& path) {
    if (!options.instrument.empty()) {
        std::string error;
        options.filter.instrument = FindInstrument(store, options.instrument, error);
        if (!options.filter.instrument) {
            std::fprintf(stderr, "tarvex-history: %s\n", error.c_str());
            return HISTORY_BAD_USAGE;
        }
    }
    switch (options.command) {
    case HistoryCommand::List: {
        // The instrument column only where a sample number could mean two samples.
        const auto instruments = InstrumentColumn(store);
        RecordLister lister(stdout, options.csv, instruments.size() > 1 ? &instruments : nullptr);
        store.forEachRecord(options.filter, [&](const history::StoredRecord& stored) {
            lister.Add(stored);
            return true;
        });
        lister.Finish();
        return HISTORY_OK;
    }
    case HistoryCommand::Instruments:
    case HistoryCommand::Name:
    case HistoryCommand::Join:
        return RunInstrumentCommand(store, options);
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
        std::printf(
            "%s: %s\n", output.c_str(),
            Format(MsgN("%ld record", "%ld records", static_cast<unsigned long>(outcome.records)),
                   outcome.records)
                .c_str());
        return HISTORY_OK;
    }
    case HistoryCommand::Check:
    case HistoryCommand::Recover:
    case HistoryCommand::Backup:
        return RunCareCommand(options, path);
    case HistoryCommand::Init:
        return RunInit(path);
    case HistoryCommand::Push:
    case HistoryCommand::Import:
    case HistoryCommand::None:
        break;
    }
    return HISTORY_BAD_USAGE;
}

} // namespace

int main(int argc, char** argv) {
    InitMessages();
    IgnoreFileSizeSignal();
    const std::vector<std::string> args = ProgramArguments(argc, argv);
    HistoryOptions options;
    const std::string error = ParseHistoryOptions(args, options);
    if (!error.empty()) {
        // One line, as tarvex-read gives it: the reason, then where the usage is.
        std::fprintf(stderr, "tarvex-history: %s (%s)\n", error.c_str(),
                     Msg("see tarvex-history --help"));
        return HISTORY_BAD_USAGE;
    }
    if (options.help) {
        std::fputs(HistoryUsage(), stdout);
        return HISTORY_OK;
    }
    for (const std::string& note : options.notes)
        std::fprintf(stderr, "tarvex-history: %s\n", note.c_str());
    const std::string path = history::chooseHistory(options.database).location;
    if (options.command == HistoryCommand::Init)
        return RunInit(path);
    if (options.command == HistoryCommand::Push || options.command == HistoryCommand::Import)
        return RunSharingCommand(options, path);
    std::error_code ec;
    const bool onServer = history::isServerHistory(path);
    if (!onServer && std::filesystem::is_directory(FsPath(path), ec)) {
        std::fprintf(
            stderr, "tarvex-history: %s\n",
            Format(Msg("%s is a folder: give the path of the history file itself"), path.c_str())
                .c_str());
        return HISTORY_NOT_READABLE;
    }
    if (!onServer && (path.empty() || !std::filesystem::exists(FsPath(path), ec))) {
        const std::string where = path.empty() ? Msg("(no home folder)") : path;
        std::fprintf(stderr, "tarvex-history: %s\n",
                     Format(Msg("no history at %s yet: the first download (tarvex-read or the "
                                "dialog) makes it"),
                            where.c_str())
                         .c_str());
        return HISTORY_NOT_READABLE;
    }
    if (options.command == HistoryCommand::Check || options.command == HistoryCommand::Recover ||
        options.command == HistoryCommand::Backup) {
        if (onServer) {
            std::fprintf(stderr, "tarvex-history: %s\n",
                         Msg("check, recover and backup look after a history file; a server's "
                             "history is looked after by its administrator (pg_dump, the "
                             "server's own checks)"));
            return HISTORY_BAD_USAGE;
        }
        return RunCareCommand(options, path);
    }
    // Naming and joining change the history; everything else only reads it.
    const bool changes =
        options.command == HistoryCommand::Name || options.command == HistoryCommand::Join;
    try {
        auto store = history::openHistory(path, changes ? history::OpenMode::ReadWrite
                                                        : history::OpenMode::ReadOnly);
        return Run(options, *store, onServer ? store->describe() : path);
    } catch (const history::Error& e) {
        ReportHistoryError(changes ? Msg("the history was not changed: %s")
                                   : Msg("the history cannot be read: %s"),
                           e, history::remedyFor(e.kind()));
        return HISTORY_NOT_READABLE;
    }
}
