#include "tools/reader/reader_options.h"

#include <cstdint>
#include <set>

#include "platform/messages.h"

namespace {

// Plain decimal digits only: no sign, no blanks, no letters. Values above
// limit (however many digits) are reported as out of range.
enum class NumberParse { Ok, NotANumber, OutOfRange };

NumberParse ParseNumber(const std::string& text, int64_t limit, int64_t& value) {
    if (text.empty())
        return NumberParse::NotANumber;
    value = 0;
    bool tooLarge = false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return NumberParse::NotANumber;
        if (!tooLarge) {
            value = value * 10 + (c - '0');
            tooLarge = value > limit;
        }
    }
    return tooLarge ? NumberParse::OutOfRange : NumberParse::Ok;
}

// Takes the value of an option given as "--opt value" or "--opt=value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               const std::string& inlineValue, bool hasInline, std::string& value,
               ParseResult& result) {
    if (hasInline) {
        value = inlineValue;
        return true;
    }
    if (i + 1 >= args.size()) {
        result.error = Format(Msg("%s needs a value"), name.c_str());
        return false;
    }
    value = args[++i];
    return true;
}

bool ParseRanged(const std::string& name, const std::string& text, int lo, int hi, int& out,
                 ParseResult& result) {
    int64_t value = 0;
    NumberParse parse = ParseNumber(text, hi, value);
    if (parse == NumberParse::NotANumber) {
        result.error = Format(Msg("%s takes a whole number, not '%s'"), name.c_str(), text.c_str());
        return false;
    }
    if (parse == NumberParse::OutOfRange || value < lo) {
        result.error =
            Format(Msg("%s must be %d to %d, not %s"), name.c_str(), lo, hi, text.c_str());
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

} // namespace

ParseResult ParseReaderOptions(const std::vector<std::string>& args, ReaderOptions& options) {
    ParseResult result;
    int formsGiven = 0;
    std::set<std::string> given; // each option counts once; a repeat is refused
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string inlineValue;
        bool hasInline = false;
        if (name.rfind("--", 0) == 0) {
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
                hasInline = true;
            }
        }
        if (!given.insert(name == "-h" ? "--help" : name).second) {
            result.error = Format(Msg("%s given more than once"), name.c_str());
            return result;
        }
        std::string value;
        if (name == "--count") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            if (!ParseRanged(name, value, 1, 2000, options.m_nRecordCount, result)) {
                result.badCount = true;
                return result;
            }
            options.m_bCountGiven = 1;
        } else if (name == "--port") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result) ||
                !ParseRanged(name, value, 1, 99, options.m_nPort, result))
                return result;
        } else if (name == "--timeout") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result) ||
                !ParseRanged(name, value, 1, 60000, options.m_nReplyTimeout, result))
                return result;
        } else if (name == "--format") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            const auto form = exports::FormFromName(value);
            if (!form) {
                result.error = Format(Msg("--format takes table, report, xlsx or pdf, not '%s'"),
                                      value.c_str());
                return result;
            }
            options.m_form = *form;
            ++formsGiven;
        } else if (name == "--output" || name == "--output-dir" || name == "--device" ||
                   name == "--database") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            if (value.empty()) {
                result.error = Format(Msg("%s needs a non-empty path"), name.c_str());
                return result;
            }
            (name == "--output"       ? options.m_szOutput
             : name == "--output-dir" ? options.m_szOutputDir
             : name == "--device"     ? options.m_szDevice
                                      : options.m_szDatabase) = value;
        } else if (hasInline) {
            result.error = Format(Msg("%s takes no value"), name.c_str());
            return result;
        } else if (name == "--table" || name == "--report") {
            options.m_form =
                name == "--table" ? exports::ResultsForm::Table : exports::ResultsForm::Report;
            ++formsGiven;
        } else if (name == "--force") {
            options.m_bForce = 1;
        } else if (name == "--new") {
            options.m_bOnlyNew = 1;
        } else if (name == "--no-history") {
            options.m_bNoHistory = 1;
        } else if (name == "--list-ports") {
            options.m_bListPorts = 1;
        } else if (name == "--help" || name == "-h") {
            options.m_bHelp = 1;
        } else {
            result.error = Format(Msg("unknown argument '%s'"), args[i].c_str());
            return result;
        }
    }
    if (options.m_bNoHistory && (!options.m_szDatabase.empty() || options.m_bOnlyNew)) {
        result.error = options.m_bOnlyNew ? Msg("--new needs the history: drop --no-history")
                                          : Msg("give at most one of --database and --no-history");
        return result;
    }
    if (formsGiven > 1) {
        result.error = Msg("give at most one of --table, --report and --format");
        return result;
    }
    if (!options.m_szOutput.empty() && !options.m_szOutputDir.empty()) {
        result.error = Msg("give at most one of --output and --output-dir");
        return result;
    }
    if (options.m_nPort > 0 && !options.m_szDevice.empty()) {
        result.error = Msg("give at most one of --port and --device");
        return result;
    }
    result.ok = true;
    return result;
}

namespace {

// The history's default place is the system's.
const char* DatabaseUsage() {
#ifdef _WIN32
    return Msg("  --database PATH  measurement history file (default: %TARVEX_DATABASE%, or\n"
               "                 %LOCALAPPDATA%\\Tarvex\\history.sqlite3); every download is "
               "kept there\n");
#else
    return Msg("  --database LOCATION  the measurement history every download is kept in: a\n"
               "                 file, or a shared history as service=NAME or\n"
               "                 postgresql://HOST/DB (default: $TARVEX_DATABASE, else\n"
               "                 Database in tarvex.ini, else\n"
               "                 $XDG_DATA_HOME/tarvex/history.sqlite3)\n");
#endif
}

} // namespace

const char* ReaderUsage() {
    // The command line itself is not translated; each explanation is.
    static const std::string usage =
        std::string("usage: tarvex-read [--count N] [--format FORM | --table | --report]\n"
                    "                   [--output PATH | --output-dir DIR] [--force]\n"
                    "                   [--port N | --device PATH] [--timeout MS] [--list-ports]\n"
                    "                   [--new] [--database LOCATION | --no-history]\n") +
        Msg("Reads the last N records (1 to 2000, default 100) of the instrument's archive\n"
            "and writes them in one of four forms:\n") +
        Msg("  --format report  text report, Windows-1251 (.doc, the default)\n") +
        Msg("  --format table   tab-separated table, Windows-1251 (.xls; same as --table)\n") +
        Msg("  --format xlsx    Excel workbook with number cells (.xlsx)\n") +
        Msg("  --format pdf     PDF test report with charts (.pdf)\n") +
        Msg("  --output PATH  results file (default: the dated name in this directory)\n") +
        Msg("  --output-dir DIR  results file in DIR (made when missing) under a name of\n"
            "                 its own: results_YYYY-MM-DD_HH-MM-SS and the suffix; never\n"
            "                 overwrites (a second run in the same second adds _2)\n") +
        Msg("  --force        overwrite an existing results file\n") +
        Msg("  --port N       start the search at COMN instead of the saved port (the\n"
            "                 remembered adapter is then not tried first)\n") +
        Msg("  --device PATH  use this serial device only; the saved port is left alone\n") +
        Msg("  --timeout MS   reply time-out of each request (default 3000)\n") +
        Msg("  --list-ports   show the ports the search would try, in order, and their state\n") +
        Msg("  --new          only the records the history lacks: reads from the newest\n"
            "                 back to one it holds (at most the whole ring, or N when\n"
            "                 --count is given); nothing new: no file\n") +
        DatabaseUsage() + Msg("  --no-history   leave the measurement history alone this run\n") +
        Msg("Each option may be given once.\n") +
        Msg("The search tries the adapter remembered in Vextar.ini, the saved port, COM1 to\n"
            "COM4, then the USB serial adapters present; COMn is $TARVEX_COM<n> when set,\n"
            "otherwise /dev/ttyS<n-1>.\n") +
        Msg("Exit status:\n") +
        Msg("  0    results file written (or, with --new, nothing new to write)\n") +
        Msg("  2    bad usage, or a count outside 1 to 2000\n") +
        Msg("  3    instrument not found (the reason is printed)\n") +
        Msg("  4    no answer from the instrument\n") +
        Msg("  5    results file not written (the reason is printed)\n") +
        Msg("  7    done, but records may have been overwritten before this download (--new\n"
            "       found all 2000 records new): download at least every 2000 measurements\n") +
        Msg("  8    written, but the shared history could not be reached: the download\n"
            "       waits in this PC's history and goes there at the next download or\n"
            "       with tarvex-history push\n") +
        Msg("  9    written, but the shared history refused the connection (password,\n"
            "       role or database): the download waits in this PC's history\n") +
        Msg("  130  interrupted by Ctrl-C or SIGTERM; nothing written, the port still saved\n");
    return usage.c_str();
}
