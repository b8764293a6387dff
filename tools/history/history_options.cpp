#include "tools/history/history_options.h"

#include <charconv>

#include "history/record_fields.h"
#include "platform/messages.h"
#include "tools/history/history_care_commands.h"
#include "tools/history/history_server_commands.h"
#include "tools/history/history_sharing.h"

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

// Ten characters laid out as YYYY-MM-DD or DD.MM.YYYY.
bool DateShaped(const std::string& text) {
    const char* shape = text.size() == 10 && text[4] == '-' ? "dddd-dd-dd" : "dd.dd.dddd";
    if (text.size() != 10)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i])
            return false;
    return true;
}

// A bound outside the years the instrument's clock can hold: what it means.
std::string ClockRangeNote(const std::string& option, const std::string& date,
                           history::Minutes bound) {
    const bool from = option == "--from";
    const std::string first = history::formatMinutes(0).substr(0, 10);
    const std::string last = history::formatMinutes(history::lastClockMinute()).substr(0, 10);
    if (bound < 0)
        return Format(Msg("%s %s is before %s, the first date the instrument's clock can hold "
                          "(its years have two digits: %d to %d): %s"),
                      option.c_str(), date.c_str(), first.c_str(), history::CLOCK_FIRST_YEAR,
                      history::CLOCK_LAST_YEAR,
                      from ? Msg("every record is on or after it") : Msg("no record can match"));
    if (bound > history::lastClockMinute())
        return Format(Msg("%s %s is after %s, the last date the instrument's clock can hold "
                          "(its years have two digits: %d to %d): %s"),
                      option.c_str(), date.c_str(), last.c_str(), history::CLOCK_FIRST_YEAR,
                      history::CLOCK_LAST_YEAR,
                      from ? Msg("no record can match") : Msg("every record is on or before it"));
    return {};
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
        else if (command == "instruments")
            options.command = HistoryCommand::Instruments;
        else if (command == "name")
            options.command = HistoryCommand::Name;
        else if (command == "join")
            options.command = HistoryCommand::Join;
        else if (!ParseCareCommand(command, options.command) &&
                 !ParseSharingCommand(command, options.command) &&
                 !ParseServerCommand(command, options.command))
            return Format(Msg("unknown command '%s' (list, export, stats, instruments, name, join, "
                              "check, recover, backup, push, import or init)"),
                          command.c_str());
        i = 1;
    }
    const bool takesOperands = options.command == HistoryCommand::Name ||
                               options.command == HistoryCommand::Join ||
                               options.command == HistoryCommand::Import;
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
        if (takesOperands && name.rfind("--", 0) != 0) {
            options.operands.push_back(args[i]);
            continue;
        }
        const bool takesValue = name == "--instrument" || name == "--database" ||
                                name == "--sample" || name == "--cell" || name == "--from" ||
                                name == "--to" || name == "--format" || name == "--output";
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size())
                return Format(Msg("%s needs a value"), name.c_str());
            value = args[++i];
        } else if (!takesValue && hasValue) {
            return Format(Msg("%s takes no value"), name.c_str());
        }
        int number = 0;
        if (name == "--database" || name == "--output") {
            if (value.empty())
                return Format(Msg("%s needs a non-empty path"), name.c_str());
            (name == "--database" ? options.database : options.output) = value;
        } else if (name == "--instrument") {
            if (value.empty())
                return Msg("--instrument takes an instrument's number or name (see tarvex-history "
                           "instruments)");
            options.instrument = value;
        } else if (name == "--sample") {
            if (!ParseWhole(value, 0, 65535, number))
                return Format(Msg("--sample takes a sample number 0 to 65535, not '%s'"),
                              value.c_str());
            options.filter.sample = number;
        } else if (name == "--cell") {
            if (!ParseWhole(value, 0, 255, number))
                return Format(Msg("--cell takes a cell number 0 to 255, not '%s'"), value.c_str());
            options.filter.cell = number;
        } else if (name == "--from" || name == "--to") {
            const auto minutes = history::parseDate(value, name == "--to");
            if (!minutes && DateShaped(value))
                return Format(Msg("%s: there is no date %s in the calendar"), name.c_str(),
                              value.c_str());
            if (!minutes)
                return Format(Msg("%s takes a date as YYYY-MM-DD or DD.MM.YYYY, not '%s'"),
                              name.c_str(), value.c_str());
            (name == "--from" ? options.filter.from : options.filter.to) = minutes;
            if (std::string note = ClockRangeNote(name, value, *minutes); !note.empty())
                options.notes.push_back(std::move(note));
        } else if (name == "--format") {
            const auto form = exports::FormFromName(value);
            if (!form)
                return Format(Msg("--format is table, report, xlsx or pdf, not '%s'"),
                              value.c_str());
            options.format = *form;
            formatGiven = true;
        } else if (name == "--csv") {
            options.csv = true;
        } else if (name == "--force") {
            options.force = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (options.command == HistoryCommand::Backup && options.output.empty() &&
                   name.rfind("-", 0) != 0) {
            options.output = name; // backup PATH: where the copy goes
        } else if (options.command == HistoryCommand::Init && options.database.empty() &&
                   name.rfind("-", 0) != 0) {
            options.database = name; // init LOCATION
        } else {
            return Format(Msg("unknown argument '%s'"), args[i].c_str());
        }
    }
    if (options.help)
        return {};
    if (options.command == HistoryCommand::None)
        return Msg("give a command: list, export, stats, instruments, name, join, check, recover, "
                   "backup, push, import or init");
    if (options.filter.from && options.filter.to && *options.filter.from > *options.filter.to)
        return Msg("--from is after --to");
    if (options.command == HistoryCommand::Import) {
        if (options.operands.size() != 1 || options.operands[0].empty())
            return Msg("import takes the history file to copy: import FILE");
    } else if (takesOperands && (options.operands.size() != 2 || options.operands[1].empty()))
        return options.command == HistoryCommand::Name
                   ? Msg("name takes an instrument and its name: name ID NAME")
                   : Msg("join takes two instruments that are one: join INTO FROM");
    if (!options.instrument.empty() && options.command != HistoryCommand::List &&
        options.command != HistoryCommand::Export)
        return Msg("--instrument belongs to list and export");
    if (options.csv && options.command != HistoryCommand::List)
        return Msg("--csv belongs to list");
    if (options.command == HistoryCommand::Backup) {
        if (options.output.empty())
            return Msg("backup needs the path of the copy: tarvex-history backup PATH");
        if (formatGiven)
            return Msg("--format, --output and --force belong to export");
    } else if ((formatGiven || !options.output.empty() || options.force) &&
               options.command != HistoryCommand::Export) {
        return Msg("--format, --output and --force belong to export");
    }
    return {};
}

std::string DefaultExportName(exports::ResultsForm form) {
    return "history." + std::string(exports::FormSuffix(form));
}

namespace {

// The history's default place is the system's.
const char* DatabaseUsage() {
#ifdef _WIN32
    return Msg("  --database PATH  history file (default: %TARVEX_DATABASE%, or\n"
               "                 %LOCALAPPDATA%\\Tarvex\\history.sqlite3)\n");
#else
    return Msg("  --database LOCATION  the history: a file, or a shared history as\n"
               "                 service=NAME or postgresql://HOST/DB (default:\n"
               "                 $TARVEX_DATABASE, else Database in tarvex.ini, else\n"
               "                 $XDG_DATA_HOME/tarvex/history.sqlite3)\n");
#endif
}

} // namespace

const char* HistoryUsage() {
    // The command lines themselves are not translated; each explanation is.
    static const std::string usage =
        std::string("usage: tarvex-history list   [FILTERS] [--csv]\n"
                    "       tarvex-history export [FILTERS] [--format table|report|xlsx|pdf]\n"
                    "                             [--output PATH] [--force]\n"
                    "       tarvex-history stats\n"
                    "       tarvex-history instruments\n"
                    "       tarvex-history name ID NAME\n"
                    "       tarvex-history join INTO FROM\n"
                    "       tarvex-history check | recover\n"
                    "       tarvex-history backup PATH [--force]\n"
                    "       tarvex-history push\n"
                    "       tarvex-history import FILE\n"
                    "       tarvex-history init LOCATION\n") +
        Msg("Shows the measurement history that tarvex-read and the dialog keep.\n") +
        Msg("  instruments    the instruments the history tells apart by their records\n") +
        Msg("  name ID NAME   names an instrument (the serial number on its plate)\n") +
        Msg("  join INTO FROM makes FROM part of INTO: one instrument whose archive\n"
            "                 was cleared\n") +
        Msg("Filters (all optional, combined):\n") +
        Msg("  --instrument ID|NAME  one instrument's records (a sample number means a\n"
            "                 sample of one instrument)\n") +
        Msg("  --sample N     oil sample number\n") +
        Msg("  --cell N       measuring cell number\n") +
        Msg("  --from DATE    measured on or after DATE (YYYY-MM-DD or DD.MM.YYYY)\n") +
        Msg("  --to DATE      measured on or before DATE\n") +
        Msg("                 Any real date will do; the instrument's clock keeps\n"
            "                 two-digit years, so records carry dates from 2000-01-01\n"
            "                 to 2099-12-31.\n") +
        Msg("  --csv          list as comma-separated values instead of a table\n") +
        Msg("  --format F     export form: table (.xls, the default), report (.doc),\n"
            "                 xlsx or pdf\n") +
        Msg("  --output PATH  export file (default: history.xls, .doc, ... here)\n") +
        Msg("  --force        overwrite an existing export file\n") + CareUsage() + SharingUsage() +
        ServerUsage() + DatabaseUsage() +
        Msg("Exit status: 0 done, 1 nothing to export (no record matches the\n"
            "             filters; no file written), 2 bad usage, 5 export file or\n"
            "             copy not written, 6 history not readable, 7 history\n"
            "             damaged (check), 8 the shared history cannot be reached,\n"
            "             9 it refused the connection (push, import).\n");
    return usage.c_str();
}
