#include "tools/history/history_options.h"

#include <charconv>

#include "history/record_fields.h"

namespace {

// Plain decimal digits within lo..hi.
bool ParseWhole(const std::string& text, int lo, int hi, int& out) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || text[0] == '-' || text[0] == '+' || ec != std::errc() || ptr != end ||
        value < lo || value > hi)
        return false;
    out = value;
    return true;
}

} // namespace

std::string ParseHistoryOptions(const std::vector<std::string>& args, HistoryOptions& options) {
    size_t i = 0;
    if (!args.empty() && args[0].rfind("-", 0) != 0) {
        const std::string& command = args[0];
        if (command == "list")
            options.command = HistoryCommand::List;
        else if (command == "export")
            options.command = HistoryCommand::Export;
        else if (command == "stats")
            options.command = HistoryCommand::Stats;
        else
            return "unknown command '" + command + "' (list, export or stats)";
        i = 1;
    }
    bool formatGiven = false;
    for (; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        const bool takesValue = name == "--database" || name == "--sample" || name == "--cell" ||
                                name == "--from" || name == "--to" || name == "--format" ||
                                name == "--output";
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size())
                return "option " + name + " needs a value";
            value = args[++i];
        } else if (!takesValue && hasValue) {
            return "option " + name + " takes no value";
        }
        int number = 0;
        if (name == "--database" || name == "--output") {
            if (value.empty())
                return name + " needs a non-empty path";
            (name == "--database" ? options.database : options.output) = value;
        } else if (name == "--sample") {
            if (!ParseWhole(value, 0, 65535, number))
                return "--sample takes a sample number 0 to 65535, not '" + value + "'";
            options.filter.sample = number;
        } else if (name == "--cell") {
            if (!ParseWhole(value, 0, 255, number))
                return "--cell takes a cell number 0 to 255, not '" + value + "'";
            options.filter.cell = number;
        } else if (name == "--from" || name == "--to") {
            const auto minutes = history::parseDate(value, name == "--to");
            if (!minutes)
                return name + " takes a date as YYYY-MM-DD or DD.MM.YYYY, not '" + value + "'";
            (name == "--from" ? options.filter.from : options.filter.to) = minutes;
        } else if (name == "--format") {
            const auto form = exports::FormFromName(value);
            if (!form)
                return "--format is table, report, xlsx or pdf, not '" + value + "'";
            options.format = *form;
            formatGiven = true;
        } else if (name == "--csv") {
            options.csv = true;
        } else if (name == "--force") {
            options.force = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            return "unknown argument '" + args[i] + "'";
        }
    }
    if (options.help)
        return {};
    if (options.command == HistoryCommand::None)
        return "give a command: list, export or stats";
    if (options.filter.from && options.filter.to && *options.filter.from > *options.filter.to)
        return "--from is after --to";
    if (options.csv && options.command != HistoryCommand::List)
        return "--csv belongs to list";
    if ((formatGiven || !options.output.empty() || options.force) &&
        options.command != HistoryCommand::Export)
        return "--format, --output and --force belong to export";
    return {};
}

std::string DefaultExportName(exports::ResultsForm form) {
    return "history." + std::string(exports::FormSuffix(form));
}

const char* HistoryUsage() {
    return "usage: tarvex-history list   [FILTERS] [--csv]\n"
           "       tarvex-history export [FILTERS] [--format table|report|xlsx|pdf]\n"
           "                             [--output PATH] [--force]\n"
           "       tarvex-history stats\n"
           "Shows the measurement history that tarvex-read and the dialog keep.\n"
           "Filters (all optional, combined):\n"
           "  --sample N     oil sample number\n"
           "  --cell N       measuring cell number\n"
           "  --from DATE    measured on or after DATE (YYYY-MM-DD or DD.MM.YYYY)\n"
           "  --to DATE      measured on or before DATE\n"
           "  --csv          list as comma-separated values instead of a table\n"
           "  --format F     export form: table (.xls, the default), report (.doc),\n"
           "                 xlsx or pdf\n"
           "  --output PATH  export file (default: history.xls, .doc, ... here)\n"
           "  --force        overwrite an existing export file\n"
           "  --database PATH  history file (default: $TARVEX_DATABASE, or\n"
           "                 $XDG_DATA_HOME/tarvex/history.sqlite3)\n"
           "Exit status: 0 done, 2 bad usage, 5 export file not written,\n"
           "             6 history not readable.\n";
}
