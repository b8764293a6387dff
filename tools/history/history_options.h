// Command line of tarvex-history.
#pragma once

#include <string>
#include <vector>

#include "exports/results_forms.h"
#include "history/record_store.h"

// Exit statuses, the same numbers as tarvex-read's where the meaning is the same.
constexpr int HISTORY_OK = 0;
constexpr int HISTORY_NOTHING_MATCHED = 1; // export: no record matches, no file written
constexpr int HISTORY_BAD_USAGE = 2;
constexpr int HISTORY_NOT_WRITTEN = 5;  // the export file was not written
constexpr int HISTORY_NOT_READABLE = 6; // the history could not be opened or read
constexpr int HISTORY_DAMAGED = 7;      // check: the history is damaged
// push, import: the shared history cannot be reached, or refused the
// connection (password, role, database); what waits on this PC waits on.
constexpr int HISTORY_SHARED_AWAY = 8;
constexpr int HISTORY_SHARED_REFUSED = 9;

enum class HistoryCommand {
    None,
    List,
    Export,
    Stats,
    Check,
    Recover,
    Backup,
    Instruments,
    Name,
    Join,
    Push,
    Import,
    Init
};

struct HistoryOptions {
    HistoryCommand command = HistoryCommand::None;
    std::string database; // empty: the default history
    history::Filter filter;
    std::string instrument;            // --instrument as given (an id or a name); empty: all
    std::vector<std::string> operands; // name: ID NAME; join: INTO FROM; import: FILE
    bool csv = false;
    exports::ResultsForm format = exports::ResultsForm::Table;
    std::string output; // export's file, or backup's copy
    bool force = false;
    bool help = false;
    // Said on standard error before the command runs: a date outside the
    // instrument's clock, which is allowed but worth knowing.
    std::vector<std::string> notes;
};

// Parses args (without the program name); empty on success, else one line.
std::string ParseHistoryOptions(const std::vector<std::string>& args, HistoryOptions& options);

const char* HistoryUsage();

// The proposed export name for a form: "history.xls", "history.doc", ...
std::string DefaultExportName(exports::ResultsForm form);
